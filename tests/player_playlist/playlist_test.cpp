// Song selection over parsed lists, with a real play-state file in a temp dir.
#include "playlist.h"
#include "player.h"
#include "player_lock.h"
#include "playstate.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

std::string entry(const std::string& url, const std::string& title, int start, int length) {
    return "{\"url\":\"" + url + "\",\"title\":\"" + title +
           "\",\"type\":2,\"startpos\":" + std::to_string(start) +
           ",\"length\":" + std::to_string(length) + "}";
}

std::string list_of(const std::vector<std::string>& entries) {
    std::string s = "{\"Playlist\":[";
    for (size_t i = 0; i < entries.size(); i++) s += (i ? "," : "") + entries[i];
    return s + "]}";
}

// n whole files /m/0.mp3 ... titled t0 ...
std::string plain_list(int n) {
    std::vector<std::string> v;
    for (int i = 0; i < n; i++) {
        std::string k = std::to_string(i);
        v.push_back(entry("/m/" + k + ".mp3", "t" + k, 0, 0));
    }
    return list_of(v);
}

class Playlist : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_.file("playusb.xml");
        set_playstate_path(path_.c_str());
        write_state("0");
        snprintf(url_, sizeof url_, "/old.mp3");
        g_cur_url = url_;
        __singlesong = {0, 0};
        g_playlist_cur = 0;
        take_pending_write();
    }
    void TearDown() override {
        playlist_release();
        free_doc();
        g_cur_url = nullptr;
    }
    // The file as the web interface leaves it (loop "" leaves <loop> out),
    // read once as the poll does so that the setters have a document.
    void write_state(const std::string& loop, const std::string& songname = "none") {
        std::string doc =
            "<root><url></url><length>0</length><songname>" + songname + "</songname>";
        if (!loop.empty()) doc += "<loop>" + loop + "</loop>";
        ASSERT_TRUE(write_text(path_, doc + "</root>"));
        ASSERT_EQ(iparsexmlfile(path_.c_str()), 0);
    }
    std::string file() { return read_text(path_); }
    std::string value(const std::string& tag) {
        std::string s = file();
        size_t at = s.find("<" + tag + ">") + tag.size() + 2;
        return s.substr(at, s.find('<', at) - at);
    }

    TempDir dir_;
    std::string path_;
    char url_[URL_SIZE] = {0};
};

TEST_F(Playlist, ParseFindsPlaylistInAnyCaseAndRefusesWhatIsNoList) {
    EXPECT_EQ(playlist_parse("{\"pLaYlIsT\":[{\"url\":\"/a\"},{\"url\":\"/b\"}]} trailing bytes"),
              1);
    EXPECT_EQ(g_playlist_count, 2);
    EXPECT_EQ(playlist_parse(nullptr), 0);

    const char* refused[] = {
        "{\"Playlist\":[{\"url\":\"/a\"},]}",  // strict JSON only
        "{\"Songs\":[{\"url\":\"/a\"}]}",
        "{\"Playlist\":{\"url\":\"/a\"}}",
        "[{\"Playlist\":[{\"url\":\"/a\"}]}]",
        "",
        "{\"Playlist\":[]}",  // empty: nothing to load, nothing to wrap around
    };
    for (const char* text : refused) {
        ASSERT_EQ(playlist_parse("{\"Playlist\":[{\"url\":\"/x\"}]}"), 1);
        EXPECT_EQ(playlist_parse(text), 0) << text;
        // No list is left behind, not even the previous one.
        EXPECT_EQ(g_playlist, nullptr);
        EXPECT_EQ(g_playlist_count, 0);
    }
}

TEST_F(Playlist, SearchByUrlTakesFirstExactMatchElseZero) {
    std::string longurl(URL_SIZE, 'a');
    ASSERT_EQ(playlist_parse(
                  list_of({entry("/m/a.mp3", "a", 0, 0), "{\"title\":\"no url\"}",
                           "{\"URL\":\"/m/c.mp3\"}", "{\"url\":5}",
                           "{\"url\":\"/m/d1\",\"url\":\"/m/d2\"}", "{\"url\":\"" + longurl + "\"}",
                           entry("/m/b.mp3", "b1", 1, 9), entry("/m/b.mp3", "b2", 240, 9)})
                      .c_str()),
              1);
    EXPECT_EQ(updatelistnumber("/m/b.mp3"), 6);
    EXPECT_EQ(updatelistnumber("/m/d1"), 4);
    EXPECT_EQ(updatelistnumber("/m/d2"), 0);     // only an entry's first "url" counts
    EXPECT_EQ(updatelistnumber("/m/c.mp3"), 0);  // member names are case-sensitive
    EXPECT_EQ(updatelistnumber("/m/B.mp3"), 0);
    EXPECT_EQ(updatelistnumber(longurl.c_str()), 0);
}

TEST_F(Playlist, LoadingAnEntryPublishesWhatTheFileSystemHas) {
    // Escapes decode to the name's own bytes; UTF-8 passes through.
    ASSERT_EQ(playlist_parse("{\"Playlist\":[{\"url\":\"/m/q\\\"b\\\\s\\u00e9.ape\",\"title\":"
                             "\"Caf\xc3\xa9 \\\"live\\\"\",\"type\":2,\"total\":0,"
                             "\"startpos\":120,\"length\":200},{\"url\":\"/m/x\"}]}"),
              1);
    EXPECT_EQ(playlistGet_song(0, g_cur_url), 0);
    EXPECT_STREQ(g_cur_url, "/m/q\"b\\s\xc3\xa9.ape");
    EXPECT_EQ(__singlesong.position, 120);
    EXPECT_EQ(__singlesong.length, 200);
    EXPECT_EQ(value("songname"), "Caf\xc3\xa9 \"live\"");
    EXPECT_EQ(take_pending_write(), PENDING_URL);

    // A shorter URL leaves nothing of the longer one behind.
    playlistGet_song(1, g_cur_url);
    EXPECT_EQ(std::string(g_cur_url, 24), std::string("/m/x") + std::string(20, '\0'));
}

TEST_F(Playlist, EntriesWithoutAUsableUrlLoadNoSong) {
    std::string at_limit(URL_SIZE - 1, 'u');
    ASSERT_EQ(playlist_parse(
                  list_of({"{\"url\":\"" + at_limit + "\"}",
                           "{\"url\":\"" + std::string(URL_SIZE, 'v') + "\",\"title\":\"big\"}",
                           "{\"url\":[1],\"title\":7,\"startpos\":\"12\",\"length\":null}", "42"})
                      .c_str()),
              1);
    playlistGet_song(0, g_cur_url);
    EXPECT_EQ(std::string(g_cur_url), at_limit);
    EXPECT_EQ(take_pending_write(), PENDING_URL);

    // A "url" too long: no URL, rather than the previous song once more.
    snprintf(url_, sizeof url_, "/old.mp3");
    playlistGet_song(1, g_cur_url);
    EXPECT_STREQ(g_cur_url, "");
    EXPECT_EQ(take_pending_write(), PENDING_NONE);
    EXPECT_EQ(value("songname"), "big");

    // Members of other types: numbers read as 0, no URL, no title.
    snprintf(url_, sizeof url_, "/old.mp3");
    __singlesong = {5, 6};
    playlistGet_song(2, g_cur_url);
    EXPECT_STREQ(g_cur_url, "");
    EXPECT_EQ(__singlesong.position, 0);
    EXPECT_EQ(__singlesong.length, 0);
    EXPECT_EQ(value("songname"), "big");

    // "42" is an entry without any URL; indexes outside the list load
    // nothing at all.
    snprintf(url_, sizeof url_, "/old.mp3");
    playlistGet_song(3, g_cur_url);
    EXPECT_STREQ(g_cur_url, "");
    snprintf(url_, sizeof url_, "/old.mp3");
    __singlesong = {5, 6};
    for (int index : {4, -1}) playlistGet_song(index, g_cur_url);
    EXPECT_STREQ(g_cur_url, "/old.mp3");
    EXPECT_EQ(__singlesong.position, 5);
    EXPECT_EQ(__singlesong.length, 6);
    EXPECT_EQ(take_pending_write(), PENDING_NONE);
}

TEST_F(Playlist, LongTitlesAreShownCutAtACharacter) {
    write_state("0", "previous");
    const std::string title = std::string(1022, 'a') + "\xc3\xa9" + std::string(500, 'b');
    ASSERT_EQ(playlist_parse(list_of({entry("/m/a.mp3", title, 0, 0)}).c_str()), 1);
    playlistGet_song(0, g_cur_url);
    EXPECT_EQ(value("songname"), std::string(1022, 'a'));
}

TEST_F(Playlist, StartOffsetSelectsTheTrackOfOneFile) {
    ASSERT_EQ(playlist_parse(list_of({entry("/m/cd.ape", std::string(80, 't'), 1, 999999),
                                      entry("/m/cd.ape", "two", 240, -4),
                                      entry("/m/cd.ape", "huge", 400, 1234567),
                                      entry("/m/cd.ape", "wide", 500, -100000)})
                                 .c_str()),
              1);
    g_playlist_cur = updatelistnumber("/m/cd.ape");
    playlistGet_song(g_playlist_cur, g_cur_url);
    EXPECT_EQ(updatenumbyposition(1), 0);
    EXPECT_EQ(value("songname"), std::string(TITLE_KEEP, 't'));
    EXPECT_EQ(value("length"), "999999");

    __singlesong.position = 240;  // as the caller has set it
    EXPECT_EQ(updatenumbyposition(240), 0);
    EXPECT_EQ(g_playlist_cur, 1);
    EXPECT_EQ(value("songname"), "two");
    EXPECT_EQ(value("length"), "-4");
    EXPECT_EQ(__singlesong.length, -4);
    EXPECT_EQ(__singlesong.position, 240);
    EXPECT_STREQ(g_cur_url, "/m/cd.ape");

    // Lengths of seven characters do not fit the field: the title is
    // published, the length is not, rather than a cut number.
    for (int start : {400, 500}) {
        EXPECT_EQ(updatenumbyposition(start), 0);
        EXPECT_EQ(value("length"), "-4");
    }
    EXPECT_EQ(value("songname"), "wide");

    // No entry starts there: -1 and the file is left as it was.
    std::string before = file();
    EXPECT_EQ(updatenumbyposition(100), -1);
    EXPECT_EQ(file(), before);
    EXPECT_EQ(g_playlist_cur, 3);
}

TEST_F(Playlist, NextWrapsAtTheEndUnlessLoopSaysOtherwise) {
    write_state("");
    ASSERT_EQ(playlist_parse(plain_list(3).c_str()), 1);
    g_playlist_cur = 2;
    g_verbose = 1;
    ::testing::internal::CaptureStdout();
    playlist_next();
    std::string lines = ::testing::internal::GetCapturedStdout();
    g_verbose = 0;
    EXPECT_EQ(g_playlist_cur, 0);
    EXPECT_STREQ(g_cur_url, "/m/0.mp3");
    EXPECT_EQ(value("songname"), "t0");
    // An automatic change loads its entry as a chosen one does.
    EXPECT_NE(lines.find("====playlistGet_song ENTER====\n!!!!!!!!!!!__singlesong.position=0"),
              std::string::npos)
        << lines;

    // Repeat: the same entry, its title and URL published again over what
    // the web interface wrote meanwhile.
    write_state("1", "edited");
    take_pending_write();
    playlist_next();
    EXPECT_EQ(g_playlist_cur, 0);
    EXPECT_EQ(value("songname"), "t0");
    EXPECT_EQ(take_pending_write(), PENDING_URL);

    // A stale index past the end: nothing to load.
    g_playlist_cur = 5;
    playlist_next();
    EXPECT_STREQ(g_cur_url, "/m/0.mp3");
    EXPECT_EQ(take_pending_write(), PENDING_NONE);

    write_state("7");
    g_playlist_cur = 1;
    playlist_next();
    EXPECT_EQ(g_playlist_cur, 2);

    playlist_release();
    EXPECT_EQ(playlist_next(), 0);
    EXPECT_STREQ(g_cur_url, "/m/2.mp3");
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

// A new URL re-parses the list on the playlist thread while the engine may
// be choosing the next song on the main thread.
TEST_F(Playlist, ListReplacedWhileTheEngineMovesOn) {
    set_playstate_path(dir_.file("missing.xml").c_str());  // no file writes
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
