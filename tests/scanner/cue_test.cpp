// The CUE sheet parser on its own: grammar, chunked reading, rejections and
// the allocation table.
#include "cue_alloc.h"
#include "cue_sheet.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Track {
    unsigned number;
    std::string title;  // "-" when the track has none
    int minutes, seconds, frames;
};

std::vector<Track> tracks_of(const CUESheet* s) {
    std::vector<Track> v;
    for (const CUETrack* t = s->track; t; t = t->next)
        v.push_back({t->number, t->title ? t->title : "-", t->index->minutes, t->index->seconds,
                     t->index->frames});
    return v;
}

bool operator==(const Track& a, const Track& b) {
    return a.number == b.number && a.title == b.title && a.minutes == b.minutes &&
           a.seconds == b.seconds && a.frames == b.frames;
}

// A sheet of n tracks with CR LF line ends; pad lengthens a REM line at
// its head so that chunk boundaries fall elsewhere.
std::string album(int n, size_t pad = 0) {
    std::string s = "REM GENRE Pop" + std::string(pad, 'x') + "\r\n";
    s += "PERFORMER \"The Band\"\r\nTITLE \"Album\"\r\nFILE \"album.ape\" WAVE\r\n";
    for (int i = 1; i <= n; i++) {
        char line[160];
        snprintf(line, sizeof line,
                 "  TRACK %02d AUDIO\r\n    TITLE \"Song number %d\"\r\n"
                 "    PERFORMER \"Player %d\"\r\n    INDEX 01 %02d:%02d:%02d\r\n",
                 i, i, i, i * 3, i % 60, i % 75);
        s += line;
    }
    return s;
}

std::vector<Track> album_tracks(int n) {
    std::vector<Track> v;
    for (int i = 1; i <= n; i++)
        v.push_back({(unsigned)i, "Song number " + std::to_string(i), i * 3, i % 60, i % 75});
    return v;
}

class CueTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(CUEAllocInUse(), 0u) << "parser blocks left behind"; }

    std::string dir_ = [] {
        char t[] = "/tmp/cue-test-XXXXXX";
        return std::string(mkdtemp(t));
    }();
    ~CueTest() override { system(("rm -rf '" + dir_ + "'").c_str()); }

    void write(const std::string& name, const std::string& text) {
        FILE* f = fopen((dir_ + "/" + name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
    }
};

TEST_F(CueTest, SheetPathReplacesApeEndingInAnyCase) {
    for (const char* in : {"/d/album.ape", "/d/album.APE", "/d/album.aPe"}) {
        char* p = CUESheetPath(in);
        ASSERT_NE(p, nullptr) << in;
        std::string want(in);
        want.replace(want.size() - 3, 3, "cue");
        EXPECT_EQ(std::string(p), want);
        CUERelease(p);
    }
    for (const char* in : {"/d/album.flac", "/d/album.apex", "/d/albumape", "ape", ".ap"})
        EXPECT_EQ(CUESheetPath(in), nullptr) << in;
}

TEST_F(CueTest, ParsesSheetBesideApeFileWithAndWithoutBom) {
    std::string text = album(3);
    while (text.size() < 1500) text.insert(0, "REM COMMENT \"padding to a realistic size\"\r\n");
    write("album.cue", text);
    write("bom.cue", "\xEF\xBB\xBF" + text);

    for (const char* audio : {"/album.ape", "/bom.APE"}) {
        CUESheet* s = CUESheetParse((dir_ + audio).c_str());
        ASSERT_NE(s, nullptr) << audio;
        EXPECT_STREQ(s->performer, "The Band");
        EXPECT_STREQ(s->title, "Album");
        EXPECT_STREQ(s->file_name, "album.ape");
        EXPECT_STREQ(s->file_type, "WAVE");
        EXPECT_EQ(tracks_of(s), album_tracks(3));
        EXPECT_STREQ(s->track->type, "AUDIO");
        EXPECT_STREQ(s->track->performer, "Player 1");
        EXPECT_EQ(s->track->prev, nullptr);
        CUESheetFree(s);
    }
}

TEST_F(CueTest, OnlyTheLowerCaseSheetBesideAnApeFileIsUsed) {
    write("song.cue", album(1));
    write("other.CUE", album(1));
    write("empty.cue", "");
    EXPECT_EQ(CUESheetParse((dir_ + "/song.flac").c_str()), nullptr);
    EXPECT_EQ(CUESheetParse((dir_ + "/other.ape").c_str()), nullptr);
    EXPECT_EQ(CUESheetParse((dir_ + "/missing.ape").c_str()), nullptr);
    EXPECT_EQ(CUESheetParse((dir_ + "/empty.ape").c_str()), nullptr);
    CUESheet* s = CUESheetParse((dir_ + "/song.ape").c_str());
    ASSERT_NE(s, nullptr);
    CUESheetFree(s);
}

// Every shift of the chunk boundaries over a sheet of several chunks, in
// memory and from a file, gives the same tracks; among the shifts are the
// ones that put a CR at the end of the first chunk and its LF at the next.
TEST_F(CueTest, ResultDoesNotDependOnChunkBoundaries) {
    bool cr_lf_split = false;
    for (size_t pad = 0; pad < 120; pad++) {
        std::string text = album(70, pad);
        ASSERT_GT(text.size(), 3 * CUE_READ_CHUNK);
        if (text[CUE_READ_CHUNK - 1] == '\r') cr_lf_split = true;
        CUESheet* s = CUESheetParseBytes(text.data(), text.size());
        ASSERT_NE(s, nullptr) << "pad " << pad;
        EXPECT_EQ(tracks_of(s), album_tracks(70)) << "pad " << pad;
        CUESheetFree(s);
        if (pad % 17 == 0 || text[CUE_READ_CHUNK - 1] == '\r') {
            write("big.cue", text);
            s = CUESheetParse((dir_ + "/big.ape").c_str());
            ASSERT_NE(s, nullptr) << "file, pad " << pad;
            EXPECT_EQ(tracks_of(s), album_tracks(70));
            CUESheetFree(s);
        }
    }
    EXPECT_TRUE(cr_lf_split);
}

TEST_F(CueTest, FirstIndexLineStartsTheTrackWhateverItsNumber) {
    std::string text =
        "FILE \"a.ape\" WAVE\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n"
        "  TRACK 02 AUDIO\r\n    INDEX 00 03:58:20\r\n    INDEX 01 04:00:10\r\n";
    CUESheet* s = CUESheetParseBytes(text.data(), text.size());
    ASSERT_NE(s, nullptr);
    const CUETrack* t2 = s->track->next;
    ASSERT_NE(t2, nullptr);
    EXPECT_EQ(t2->index->number, 0);
    EXPECT_EQ(t2->index->minutes * 60 + t2->index->seconds, 238);
    ASSERT_NE(t2->index->next, nullptr);
    EXPECT_EQ(t2->index->next->minutes, 4);
    EXPECT_EQ(t2->index->next->prev, t2->index);
    CUESheetFree(s);
}

TEST_F(CueTest, FieldsFollowIndentationAndWrapInTheirWidth) {
    std::string text =
        "CATALOG 0123456789012\r\nCDTEXTFILE whatever\r\nFLAGS DCP\r\n"
        "TRACK 65537 \r\nINDEX 258 300:61:\r\n"
        "TITLE \"Sheet title\"\r\nTITLE \"Sheet title again\"\r\n  TITLE \"\"\r\n"
        "TRACK 2 AUDIO\r\nINDEX 1 0:0:0\r\nPERFORMER \"P\"\r\n";
    CUESheet* s = CUESheetParseBytes(text.data(), text.size());
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s->catalog, "0123456789012");
    EXPECT_STREQ(s->title, "Sheet title again");
    EXPECT_STREQ(s->performer, "P");
    const CUETrack* t = s->track;
    EXPECT_EQ(t->number, 1);  // 65537 mod 65536
    EXPECT_STREQ(t->type, "");
    EXPECT_STREQ(t->title, "");
    EXPECT_EQ(t->index->number, 2);    // 258 mod 256
    EXPECT_EQ(t->index->minutes, 44);  // 300 mod 256
    EXPECT_EQ(t->index->seconds, 61);
    EXPECT_EQ(t->index->frames, 0);
    ASSERT_NE(t->next, nullptr);
    EXPECT_EQ(t->next->title, nullptr);  // the unindented TITLE went to the sheet
    CUESheetFree(s);
}

TEST_F(CueTest, RejectsEveryBreachOfTheGrammar) {
    const std::string good = album(2);
    auto edit = [&](const std::string& from, const std::string& to) {
        std::string t = good;
        size_t at = t.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return t.replace(at, from.size(), to);
    };
    auto lf_only = [&] {
        std::string t;
        for (char c : good)
            if (c != '\r') t += c;
        return t;
    };
    const std::pair<const char*, std::string> cases[] = {
        {"LF line ends", lf_only()},
        {"tab indentation", edit("  TRACK 01", "\tTRACK 01")},
        {"SONGWRITER", edit("TITLE \"Album\"", "SONGWRITER \"Someone\"")},
        {"ISRC", edit("    INDEX 01 03", "    ISRC ABC\r\n    INDEX 01 03")},
        {"trailing space after TITLE", edit("\"Album\"\r\n", "\"Album\" \r\n")},
        {"lower-case keyword", edit("TITLE \"Album\"", "title \"Album\"")},
        {"FILE type MP3", edit("WAVE", "MP3")},
        {"TRACK type in small letters", edit("01 AUDIO", "01 audio")},
        {"two spaces after keyword", edit("TITLE \"Album\"", "TITLE  \"Album\"")},
        {"unquoted TITLE", edit("\"Album\"", "Album")},
        {"unclosed quote", edit("\"Album\"", "\"Album")},
        {"FILE without type space", edit("\"album.ape\" WAVE", "\"album.ape\"WAVE")},
        {"INDEX without colon", edit("INDEX 01 03:01", "INDEX 01 03.01")},
        {"keyword without space", edit("REM GENRE Pop\r\n", "REM\r\n")},
        {"empty line", edit("REM GENRE Pop\r\n", "REM GENRE Pop\r\n\r\n")},
        {"CR without LF", edit("\"Album\"\r\n", "\"Album\"\rFILE \"x\" WAVE\r\n")},
        {"last line without CR LF", good.substr(0, good.size() - 2)},
        {"INDEX before the first TRACK", "INDEX 01 00:00:00\r\n" + good},
        {"indented TITLE before the first TRACK", "  TITLE \"x\"\r\n" + good},
        {"no TRACK", "TITLE \"Album\"\r\nFILE \"a.ape\" WAVE\r\n"},
        {"TRACK without INDEX", good + "  TRACK 03 AUDIO\r\n    TITLE \"x\"\r\n"},
    };
    for (const auto& c : cases) {
        CUESheet* s = CUESheetParseBytes(c.second.data(), c.second.size());
        EXPECT_EQ(s, nullptr) << c.first;
        CUESheetFree(s);
        EXPECT_EQ(CUEAllocInUse(), 0u) << c.first;
    }
    CUESheet* s = CUESheetParseBytes(good.data(), good.size());
    EXPECT_NE(s, nullptr);
    CUESheetFree(s);
}

// A line that can't fit the 2048-byte buffer ends the parse in a sheet
// larger than one chunk, wherever the line lies; one that fits is fine.
TEST_F(CueTest, LineLongerThanTheBufferIsRefused) {
    std::string tail = album(30);
    for (size_t title : {CUE_READ_CHUNK - 10, CUE_READ_CHUNK, CUE_READ_CHUNK + 1}) {
        std::string line = "CATALOG " + std::string(title - 10, '7') + "\r\n";
        for (const std::string& text : {line + tail, tail + line, album(5) + line + tail}) {
            CUESheet* s = CUESheetParseBytes(text.data(), text.size());
            if (line.size() <= CUE_READ_CHUNK) {
                ASSERT_NE(s, nullptr) << line.size();
                EXPECT_EQ(strlen(s->catalog), line.size() - 10);
            } else {
                EXPECT_EQ(s, nullptr) << line.size();
            }
            CUESheetFree(s);
        }
    }
}

TEST_F(CueTest, AllocationTableHoldsAtMost1024Blocks) {
    std::vector<void*> blocks;
    while (void* p = CUEAlloc(8)) blocks.push_back(p);
    EXPECT_EQ(blocks.size(), CUE_ALLOC_SLOTS);
    EXPECT_EQ(CUESheetPath("/a.ape"), nullptr);
    int unrelated = 0;
    CUERelease(&unrelated);
    CUERelease(nullptr);
    EXPECT_EQ(CUEAllocInUse(), CUE_ALLOC_SLOTS);
    // A parse that runs out of slots midway leaves nothing behind.
    for (size_t i = 0; i < 100; i++) CUERelease(blocks[i]);
    std::string big = album(40);
    EXPECT_EQ(CUESheetParseBytes(big.data(), big.size()), nullptr);
    EXPECT_EQ(CUEAllocInUse(), CUE_ALLOC_SLOTS - 100);
    for (size_t i = 100; i < blocks.size(); i++) CUERelease(blocks[i]);
}

}  // namespace
