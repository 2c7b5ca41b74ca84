// Song selection over parsed lists, with a real play-state file in a temp dir.
#include "player.h"
#include "player_lock.h"
#include "playlist.h"
#include "playstate.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

std::string entry(const std::string& url, const std::string& title, int start, int length) {
    return "{\"url\":\"" + url + "\",\"title\":\"" + title + "\",\"type\":2,\"startpos\":" +
           std::to_string(start) + ",\"length\":" + std::to_string(length) + "}";
}

std::string list_of(const std::vector<std::string>& entries) {
    std::string s = "{\"Playlist\":[";
    for (size_t i = 0; i < entries.size(); i++) s += (i ? "," : "") + entries[i];
    return s + "]}";
}

// n plain entries /m/0.mp3 .. /m/<n-1>.mp3 titled t0 ...
std::string plain_list(int n) {
    std::vector<std::string> v;
    for (int i = 0; i < n; i++)
        v.push_back(entry("/m/" + std::to_string(i) + ".mp3", "t" + std::to_string(i), 0, 0));
    return list_of(v);
}

class Playlist : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/playlist_testXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        path_ = dir_ + "/playusb.xml";
        set_playstate_path(path_.c_str());
        write_state("");
        g_cur_url = url_;
        snprintf(url_, sizeof url_, "%s", "/old.mp3");
        __singlesong = {0, 0};
        g_playlist_cur = 0;
        take_pending_write();
    }
    void TearDown() override {
        playlist_release();
        free_doc();
        g_cur_url = nullptr;
        unlink(path_.c_str());
        rmdir(dir_.c_str());
    }
    // A play-state file as the web interface leaves it; loop "" leaves the
    // <loop> element out. Read once, as the poll does, so setters have a document.
    void write_state(const std::string& loop, const std::string& songname = "none",
                     const std::string& length = "0") {
        std::string doc = "<root><url></url><position>0</position><length>" + length +
                          "</length><playstate>PLAYING</playstate><volume>80</volume>"
                          "<seek>0</seek><startposition>0</startposition><songname>" +
                          songname + "</songname>";
        if (!loop.empty()) doc += "<loop>" + loop + "</loop>";
        doc += "</root>";
        FILE* f = fopen(path_.c_str(), "w");
        ASSERT_NE(f, nullptr);
        fwrite(doc.data(), 1, doc.size(), f);
        fclose(f);
        ASSERT_EQ(iparsexmlfile(path_.c_str()), 0);
    }
    std::string file() {
        std::string s;
        FILE* f = fopen(path_.c_str(), "r");
        if (!f) return "<missing>";
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
        fclose(f);
        return s;
    }
    std::string value(const std::string& tag) {
        std::string s = file();
        size_t at = s.find("<" + tag + ">");
        if (at == std::string::npos) return "<no tag>";
        at += tag.size() + 2;
        return s.substr(at, s.find('<', at) - at);
    }

    std::string dir_, path_;
    char url_[URL_SIZE] = {0};
};

TEST_F(Playlist, ParseFindsPlaylistInAnyCaseAndRefusesWhatIsNoList) {
    EXPECT_EQ(playlist_parse("{\"pLaYlIsT\":[{\"url\":\"/a\"},{\"url\":\"/b\"}]} trailing bytes"), 1);
    EXPECT_EQ(g_playlist_count, 2);
    EXPECT_NE(g_playlist, nullptr);

    EXPECT_EQ(playlist_parse(nullptr), 0);

    const char* refused[] = {
        "{\"Playlist\":[{\"url\":\"/a\"},]}",  // trailing comma: strict JSON only
        "{\"Songs\":[{\"url\":\"/a\"}]}",
        "{\"Playlist\":{\"url\":\"/a\"}}",
        "{\"Playlist\":\"/a\"}",
        "[{\"Playlist\":[{\"url\":\"/a\"}]}]",
        "{\"Playlist\":[]}",  // empty: no entry to load, nothing to wrap around
        "",
    };
    for (const char* text : refused) {
        EXPECT_EQ(playlist_parse("{\"Playlist\":[{\"url\":\"/x\"}]}"), 1);
        EXPECT_EQ(playlist_parse(text), 0) << text;
        // A refused text leaves no list behind, not the previous one.
        EXPECT_EQ(g_playlist, nullptr);
        EXPECT_EQ(g_playlist_count, 0);
    }
}

TEST_F(Playlist, SearchByUrlTakesFirstExactMatchElseZero) {
    std::string longurl(URL_SIZE, 'a');
    ASSERT_EQ(playlist_parse(list_of({entry("/m/a.mp3", "a", 0, 0),
                                      "{\"title\":\"no url\"}",
                                      "{\"URL\":\"/m/c.mp3\"}",
                                      "{\"url\":5}",
                                      "{\"url\":\"/m/d1\",\"url\":\"/m/d2\"}",
                                      "{\"url\":\"" + longurl + "\"}",
                                      entry("/m/b.mp3", "b1", 1, 100),
                                      entry("/m/b.mp3", "b2", 240, 100)})
                                 .c_str()),
              1);
    EXPECT_EQ(updatelistnumber("/m/b.mp3"), 6);
    EXPECT_EQ(updatelistnumber("/m/d1"), 4);
    EXPECT_EQ(updatelistnumber("/m/d2"), 0);  // only an entry's first "url" counts
    EXPECT_EQ(updatelistnumber("/m/a.mp3"), 0);
    EXPECT_EQ(updatelistnumber("/m/c.mp3"), 0);  // member names are case-sensitive
    EXPECT_EQ(updatelistnumber("/m/B.mp3"), 0);
    EXPECT_EQ(updatelistnumber(""), 0);
    EXPECT_EQ(updatelistnumber(longurl.c_str()), 0);
    playlist_release();
    EXPECT_EQ(updatelistnumber("/m/b.mp3"), 0);
}

TEST_F(Playlist, LoadingAnEntryPublishesItsUrlAndTitle) {
    // Escapes decode to the bytes the file system has, UTF-8 passes through.
    ASSERT_EQ(playlist_parse("{\"Playlist\":[{\"url\":\"/m/q\\\"b\\\\s\\u00e9.ape\",\"title\":"
                             "\"Caf\xc3\xa9 \\\"live\\\"\",\"type\":2,\"total\":0,"
                             "\"startpos\":120,\"length\":200}]}"),
              1);
    EXPECT_EQ(playlistGet_song(0, g_cur_url), 0);
    EXPECT_STREQ(g_cur_url, "/m/q\"b\\s\xc3\xa9.ape");
    EXPECT_EQ(__singlesong.position, 120);
    EXPECT_EQ(__singlesong.length, 200);
    EXPECT_EQ(value("songname"), "Caf\xc3\xa9 \"live\"");
    EXPECT_EQ(take_pending_write(), PENDING_URL);

    // A shorter URL leaves nothing of the longer one behind.
    ASSERT_EQ(playlist_parse(list_of({entry("/m/x", "x", 0, 0)}).c_str()), 1);
    playlistGet_song(0, g_cur_url);
    EXPECT_STREQ(g_cur_url, "/m/x");
    EXPECT_EQ(std::string(g_cur_url + 5, 20), std::string(20, '\0'));
}

TEST_F(Playlist, EntriesThatCannotBeLoadedLeaveTheCurrentSong) {
    std::string at_limit(URL_SIZE - 1, 'u');
    std::string too_long(URL_SIZE, 'v');
    ASSERT_EQ(playlist_parse(list_of({"{\"url\":\"" + at_limit + "\"}",
                                      "{\"url\":\"" + too_long + "\",\"title\":\"big\"}",
                                      "{\"url\":[1],\"title\":7,\"startpos\":\"12\",\"length\":null}",
                                      "42"})
                                 .c_str()),
              1);
    playlistGet_song(0, g_cur_url);
    EXPECT_EQ(std::string(g_cur_url), at_limit);
    EXPECT_EQ(take_pending_write(), PENDING_URL);

    snprintf(url_, sizeof url_, "%s", "/old.mp3");
    playlistGet_song(1, g_cur_url);
    EXPECT_STREQ(g_cur_url, "/old.mp3");
    EXPECT_EQ(take_pending_write(), PENDING_NONE);
    EXPECT_EQ(value("songname"), "big");

    // Members of the wrong type: numbers read as 0, no URL, no title.
    __singlesong = {5, 6};
    playlistGet_song(2, g_cur_url);
    EXPECT_STREQ(g_cur_url, "/old.mp3");
    EXPECT_EQ(__singlesong.position, 0);
    EXPECT_EQ(__singlesong.length, 0);
    EXPECT_EQ(value("songname"), "big");
    EXPECT_EQ(take_pending_write(), PENDING_NONE);

    __singlesong = {5, 6};
    for (int index : {3, 4, -1}) playlistGet_song(index, g_cur_url);
    EXPECT_STREQ(g_cur_url, "/old.mp3");
    EXPECT_EQ(__singlesong.position, 5);
    EXPECT_EQ(__singlesong.length, 6);
}

TEST_F(Playlist, StartOffsetSelectsTheTrackOfOneFile) {
    ASSERT_EQ(playlist_parse(list_of({entry("/m/a.mp3", "a", 0, 0),
                                      entry("/m/cd.ape", "one", 1, 235),
                                      entry("/m/cd.ape", "two", 240, 180)})
                                 .c_str()),
              1);
    g_playlist_cur = updatelistnumber("/m/cd.ape");
    playlistGet_song(g_playlist_cur, g_cur_url);
    EXPECT_EQ(g_playlist_cur, 1);
    EXPECT_EQ(value("songname"), "one");

    EXPECT_EQ(updatenumbyposition(240), 0);
    EXPECT_EQ(g_playlist_cur, 2);
    EXPECT_EQ(value("songname"), "two");
    EXPECT_EQ(value("length"), "180");
    EXPECT_EQ(__singlesong.length, 180);
    EXPECT_EQ(__singlesong.position, 1);  // the caller has set and seeked it
    EXPECT_STREQ(g_cur_url, "/m/cd.ape");

    // No entry starts there: -1 and the file is left as it was.
    std::string before = file();
    EXPECT_EQ(updatenumbyposition(100), -1);
    EXPECT_EQ(file(), before);
    EXPECT_EQ(g_playlist_cur, 2);
}

TEST_F(Playlist, StartOffsetSearchCutsTitlesAndRefusesLengthsItCannotHold) {
    std::string title(80, 't');
    ASSERT_EQ(playlist_parse(list_of({entry("/m/cd.ape", title, 1, 999999),
                                      entry("/m/cd.ape", "neg", 300, -4),
                                      entry("/m/cd.ape", "huge", 400, 1234567),
                                      entry("/m/cd.ape", "wide", 500, -100000)})
                                 .c_str()),
              1);
    EXPECT_EQ(updatenumbyposition(1), 0);
    EXPECT_EQ(value("songname"), std::string(TITLE_KEEP, 't'));
    EXPECT_EQ(value("length"), "999999");

    EXPECT_EQ(updatenumbyposition(300), 0);
    EXPECT_EQ(value("length"), "-4");

    // Seven digits do not fit the field: the title is published, the length
    // is not, rather than a cut number.
    EXPECT_EQ(updatenumbyposition(400), 0);
    EXPECT_EQ(value("songname"), "huge");
    EXPECT_EQ(value("length"), "-4");
    EXPECT_EQ(__singlesong.length, 1234567);

    EXPECT_EQ(updatenumbyposition(500), 0);
    EXPECT_EQ(value("length"), "-4");
    EXPECT_EQ(value("songname"), "wide");
}

TEST_F(Playlist, NextWrapsAtTheEndWithoutLoopMode) {
    write_state("");
    ASSERT_EQ(playlist_parse(plain_list(3).c_str()), 1);
    g_playlist_cur = 1;
    playlist_next();
    EXPECT_EQ(g_playlist_cur, 2);
    EXPECT_STREQ(g_cur_url, "/m/2.mp3");
    EXPECT_EQ(value("songname"), "t2");
    playlist_next();
    EXPECT_EQ(g_playlist_cur, 0);
    EXPECT_STREQ(g_cur_url, "/m/0.mp3");
    EXPECT_EQ(value("songname"), "t0");

    write_state("7");
    g_playlist_cur = 2;
    playlist_next();
    EXPECT_EQ(g_playlist_cur, 0);
}

TEST_F(Playlist, NextRepeatsInLoopModeOneAndPublishesAgain) {
    ASSERT_EQ(playlist_parse(plain_list(3).c_str()), 1);
    g_playlist_cur = 1;
    // The web interface rewrote the file since the entry was loaded.
    write_state("1", "edited");
    take_pending_write();
    playlist_next();
    EXPECT_EQ(g_playlist_cur, 1);
    EXPECT_STREQ(g_cur_url, "/m/1.mp3");
    EXPECT_EQ(value("songname"), "t1");
    EXPECT_EQ(take_pending_write(), PENDING_URL);
}

TEST_F(Playlist, NextInLoopModeTwoFollowsTheSeededOrder) {
    write_state("2");
    ASSERT_EQ(playlist_parse(plain_list(10).c_str()), 1);
    srand(3);
    int expected = rand() % 10;
    for (int round = 0; round < 2; round++) {
        g_playlist_cur = 3;
        playlist_next();
        EXPECT_EQ(g_playlist_cur, expected);
        EXPECT_EQ(std::string(g_cur_url), "/m/" + std::to_string(expected) + ".mp3");
    }
}

TEST_F(Playlist, NextWithoutAListOrOutsideItLoadsNothing) {
    write_state("0");
    g_playlist_cur = 4;
    EXPECT_EQ(playlist_next(), 0);
    EXPECT_STREQ(g_cur_url, "/old.mp3");
    EXPECT_EQ(take_pending_write(), PENDING_NONE);

    // A stale index past the end, repeated: nothing to load.
    write_state("1");
    ASSERT_EQ(playlist_parse(plain_list(2).c_str()), 1);
    g_playlist_cur = 5;
    playlist_next();
    EXPECT_STREQ(g_cur_url, "/old.mp3");
    EXPECT_EQ(take_pending_write(), PENDING_NONE);
}

// A new URL re-parses the list on the playlist thread while the engine
// may be choosing the next song on the main thread.
TEST_F(Playlist, ListReplacedWhileTheEngineMovesOn) {
    // No play-state file: the selection runs without file writes.
    set_playstate_path((dir_ + "/missing.xml").c_str());
    free_doc();
    const std::string three = plain_list(3), five = plain_list(5);
    ASSERT_EQ(playlist_parse(five.c_str()), 1);
    std::thread poll([&] {
        for (int i = 0; i < 300; i++) {
            playlist_parse((i % 2 ? three : five).c_str());
            int cur = updatelistnumber("/m/2.mp3");
            MutexHold p(&g_player_lock);
            g_playlist_cur = cur;
        }
    });
    for (int i = 0; i < 300; i++) playlist_next();
    poll.join();
    EXPECT_GE(g_playlist_cur, 0);
    EXPECT_LT(g_playlist_cur, 5);
    std::string url = g_cur_url;
    EXPECT_TRUE(url.size() == 8 && url.compare(0, 3, "/m/") == 0 && url[3] >= '0' && url[3] < '5')
        << url;
}

}  // namespace
