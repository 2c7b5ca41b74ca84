// One poll cycle against a real play-state file, with the engine replaced
// by a journal of the calls it receives.
#include "poll.h"
#include "fake_engine.h"
#include "player.h"
#include "playstate.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

std::vector<unsigned> g_sleeps;
void fake_sleep(unsigned s) { g_sleeps.push_back(s); }

using Calls = std::vector<std::string>;

std::string doc(const std::string& url, const std::string& state, const std::string& volume,
                const std::string& seek, const std::string& start) {
    return "<root><url>" + url + "</url><position>0</position><length>0</length><playstate>" +
           state + "</playstate><volume>" + volume + "</volume><seek>" + seek +
           "</seek><startposition>" + start +
           "</startposition><songname></songname><loop>0</loop></root>\n";
}

class PollCycle : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_.file("playusb.xml");
        set_playstate_path(path_.c_str());
        static char url[URL_SIZE];
        memset(url, 0, sizeof url);
        strcpy(url, "/tmp/mnt/sda1/a.mp3");
        g_cur_url = url;
        set_playstate_text("PLAYING");
        note_url_seen("");
        take_pending_write();
        g_calls.clear();
        g_sleeps.clear();
        g_fake_state = STATE_PLAYING;
        g_fake_position = 0;
        g_fake_stop_on_set_uri = true;
        mem_.volume = 80;
    }
    void TearDown() override { free_doc(); }
    void write(const std::string& text) { ASSERT_TRUE(write_text(path_, text)); }
    std::string get(char* (*getter)()) {
        XmlValue v(getter());
        return v ? v.get() : "<null>";
    }
    int cycle() { return poll_cycle(&mem_, fake_poll_ops(fake_sleep)); }

    TempDir dir_;
    std::string path_;
    PollMemory mem_;
};

TEST_F(PollCycle, QuietFileAsksForNothingButThePosition) {
    write(doc("/tmp/mnt/sda1/a.mp3", "PLAYING", "80", "0", "0"));
    g_fake_position = 42;
    EXPECT_EQ(cycle(), 0);
    EXPECT_EQ(g_calls, Calls{});
    EXPECT_EQ(g_sleeps, std::vector<unsigned>{1});
    EXPECT_EQ(get(getxmlPosition), "42");
    // Not playing: the position is left alone.
    g_fake_state = STATE_PAUSED;
    g_fake_position = 50;
    cycle();
    EXPECT_EQ(get(getxmlPosition), "42");
}

// A file left empty or cut (a rewrite on a full disk) is written again
// whole from the last whole one and the daemon's own state, once it is
// still so a cycle later; nothing is printed without "--log".
TEST_F(PollCycle, GarbledFileIsWrittenAgainWhole) {
    const std::string whole = doc("/tmp/mnt/sda1/a.mp3", "PLAYING", "80", "0", "0");
    auto with = [](std::string text, const std::string& from, const std::string& to) {
        return text.replace(text.find(from), from.size(), to);
    };
    write(whole);
    g_fake_position = 7;
    cycle();
    const std::string seven = with(whole, "<position>0", "<position>7");
    ASSERT_EQ(read_text(path_), seven);
    // The daemon stopped meanwhile, and its own write was lost.
    set_playstate_text("STOPPED");
    g_fake_state = STATE_STOPPED;
    const std::string stopped = with(seven, "PLAYING", "STOPPED");
    for (const std::string& garbled :
         {std::string(), stopped.substr(0, stopped.find("<volume>"))}) {
        write(garbled);
        ::testing::internal::CaptureStdout();
        cycle();
        EXPECT_EQ(read_text(path_), garbled);  // a moment's cut is left alone
        cycle();
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(read_text(path_), stopped);
    }
    EXPECT_EQ(g_calls, Calls{});  // no request read into the rewrites
}

TEST_F(PollCycle, PendingWriteComesFirstAndEndsTheCycle) {
    write(doc("/tmp/mnt/sda1/other.mp3", "PAUSE", "10", "5", "0"));
    ASSERT_EQ(iparsexmlfile(path_.c_str()), 0);
    note_url_seen("/tmp/mnt/sda1/other.mp3");  // the daemon's own earlier URL
    set_playstate_text("STOPPED");
    post_pending_write(PENDING_PLAYSTATE);
    cycle();
    EXPECT_EQ(get(getxmlPlaystate), "STOPPED");
    EXPECT_EQ(g_calls, Calls{});
    EXPECT_EQ(g_sleeps, (std::vector<unsigned>{1, 1}));
    EXPECT_EQ(take_pending_write(), PENDING_NONE);

    post_pending_write(PENDING_URL);
    cycle();
    EXPECT_EQ(get(getxmlPath), "/tmp/mnt/sda1/a.mp3");

    // A write that cannot be made is posted again for the next cycle.
    write("<playstate>PAUSE</playstate>");
    free_doc();
    post_pending_write(PENDING_URL);
    cycle();
    EXPECT_EQ(take_pending_write(), PENDING_URL);
}

// The engine's writes are made from the file as it is at that moment: what
// the web interface wrote since the poll's last read stays.
TEST_F(PollCycle, PendingWriteKeepsEditsMadeSinceTheLastRead) {
    write(doc("/tmp/mnt/sda1/a.mp3", "PLAYING", "80", "0", "0"));
    ASSERT_EQ(iparsexmlfile(path_.c_str()), 0);
    write(doc("/tmp/mnt/sda1/a.mp3", "PLAYING", "35", "0", "0"));
    set_playstate_text("PAUSE");
    post_pending_write(PENDING_PLAYSTATE);
    cycle();
    EXPECT_EQ(read_text(path_), doc("/tmp/mnt/sda1/a.mp3", "PAUSE", "35", "0", "0"));
}

// A loaded entry's URL replaces only the <url> the daemon last saw there. A
// song asked for in the meantime is not overwritten but played, in the
// same cycle.
TEST_F(PollCycle, PendingUrlYieldsToARequestWrittenMeanwhile) {
    const std::string old_url = "/tmp/mnt/sda1/old.mp3", asked = "/tmp/mnt/sda1/asked.mp3";
    write(doc(old_url, "PLAYING", "80", "0", "0"));
    ASSERT_EQ(iparsexmlfile(path_.c_str()), 0);
    note_url_seen(old_url.c_str());
    write(doc(asked, "PLAYING", "80", "0", "0"));
    post_pending_write(PENDING_URL);  // for g_cur_url, a.mp3
    cycle();
    EXPECT_EQ(get(getxmlPath), asked);
    EXPECT_EQ(g_calls, (Calls{"set_uri " + asked, "play"}));
    EXPECT_EQ(take_pending_write(), PENDING_NONE);
}

// The current song's URL read from <url> is what the daemon saw there last,
// so the next entry's URL may replace it, and it is no request afterwards.
TEST_F(PollCycle, PendingUrlReplacesTheCurrentUrlReadBefore) {
    write(doc("/tmp/mnt/sda1/a.mp3", "PLAYING", "80", "0", "0"));
    cycle();
    EXPECT_EQ(g_calls, Calls{});
    strcpy(g_cur_url, "/tmp/mnt/sda1/b.mp3");  // the engine went on to the next entry
    post_pending_write(PENDING_URL);
    cycle();
    EXPECT_EQ(get(getxmlPath), "/tmp/mnt/sda1/b.mp3");
    cycle();
    EXPECT_EQ(g_calls, Calls{});
}

// A file that cannot take the URL (here: too long a document) must not hold
// the rest of the poll: the write waits for the next cycle, the position
// and the volume go on.
TEST_F(PollCycle, RefusedWriteLetsTheCycleGoOn) {
    const std::string old_url = "/tmp/mnt/sda1/old.mp3";
    std::string text = doc(old_url, "PLAYING", "30", "0", "0");
    text += std::string(4095 - text.size(), ' ');
    write(text);
    ASSERT_EQ(iparsexmlfile(path_.c_str()), 0);
    note_url_seen(old_url.c_str());  // the daemon wrote it earlier
    strcpy(g_cur_url, ("/tmp/mnt/sda1/" + std::string(200, 'n') + ".mp3").c_str());
    g_fake_position = 9;
    post_pending_write(PENDING_URL);
    cycle();
    EXPECT_EQ(take_pending_write(), PENDING_URL);  // kept for the next cycle
    EXPECT_EQ(g_calls, Calls{"volume 30"});        // and no request made of the old URL
    EXPECT_EQ(get(getxmlPosition), "9");
}

// A path holding "<" is stored cut at it; reading the cut text back is no
// request from the web interface.
TEST_F(PollCycle, OwnCutUrlIsNoNewRequest) {
    write(doc("/tmp/mnt/sda1/a.mp3", "PLAYING", "80", "0", "0"));
    ASSERT_EQ(iparsexmlfile(path_.c_str()), 0);
    note_url_seen("/tmp/mnt/sda1/a.mp3");  // the daemon's own earlier URL
    strcpy(g_cur_url, "/tmp/mnt/sda1/x<y>.mp3");
    post_pending_write(PENDING_URL);
    cycle();
    ASSERT_EQ(get(getxmlPath), "/tmp/mnt/sda1/x");
    cycle();
    cycle();
    EXPECT_EQ(g_calls, Calls{});
    // The web interface's own request still counts.
    write(doc("/tmp/mnt/sda1/b.mp3", "PLAYING", "80", "0", "0"));
    cycle();
    EXPECT_EQ(g_calls, (Calls{"set_uri /tmp/mnt/sda1/b.mp3", "play"}));
}

TEST_F(PollCycle, NewUrlKeepsTheStartPositionSentWithIt) {
    write(doc("/tmp/mnt/sda1/b.ape", "PLAYING", "80", "0", "240"));
    cycle();
    EXPECT_EQ(g_calls, (Calls{"set_uri /tmp/mnt/sda1/b.ape", "play", "startposition 240",
                              "numbyposition 240"}));
    EXPECT_EQ(get(getxmlStartposition), "0");
    EXPECT_EQ(g_sleeps, (std::vector<unsigned>{1, 1}));
}

TEST_F(PollCycle, PlayStateChanges) {
    // "STOPPED" from the web interface triggers nothing but the pause.
    write(doc("/tmp/mnt/sda1/a.mp3", "STOPPED", "80", "0", "0"));
    cycle();
    EXPECT_EQ(g_calls, Calls{});
    EXPECT_EQ(g_sleeps, (std::vector<unsigned>{1, 1}));

    write(doc("/tmp/mnt/sda1/a.mp3", "PAUSE", "80", "0", "0"));
    cycle();
    EXPECT_EQ(g_calls, Calls{"pause"});

    set_playstate_text("PAUSE");
    g_calls.clear();
    g_fake_state = STATE_PAUSED;
    write(doc("/tmp/mnt/sda1/a.mp3", "PLAYING", "80", "0", "0"));
    write(doc("/tmp/mnt/sda1/a.mp3", "PLAYING", "80", "0", "0"));
    cycle();
    EXPECT_EQ(g_calls, Calls{"play"});

    // Equal to what the daemon believes: nothing, even if the engine differs.
    set_playstate_text("PLAYING");
    g_calls.clear();
    g_fake_state = STATE_STOPPED;
    cycle();
    EXPECT_EQ(g_calls, Calls{});
}

TEST_F(PollCycle, SeekAndVolumeRequests) {
    for (const char* idle : {"0", "-5", "abc"}) {
        write(doc("/tmp/mnt/sda1/a.mp3", "PLAYING", "80", idle, "0"));
        cycle();
        EXPECT_EQ(g_calls, Calls{}) << idle;
        EXPECT_EQ(get(getxmlSeek), idle);
    }
    write(doc("/tmp/mnt/sda1/a.mp3", "PLAYING", "80", "30", "-3"));
    cycle();
    EXPECT_EQ(g_calls, Calls{"seek 30"});
    EXPECT_EQ(get(getxmlSeek), "0");
    EXPECT_EQ(get(getxmlStartposition), "-3");

    g_calls.clear();
    write(doc("/tmp/mnt/sda1/a.mp3", "PLAYING", "loud", "0", "0"));
    cycle();
    cycle();
    EXPECT_EQ(g_calls, Calls{"volume 0"});
    write(doc("/tmp/mnt/sda1/a.mp3", "PLAYING", "150", "0", "0"));
    cycle();
    EXPECT_EQ(g_calls, (Calls{"volume 0", "volume 150"}));
}

TEST_F(PollCycle, ExitRequestReleasesTheDocument) {
    write(doc("/tmp/mnt/sda1/a.mp3", "PLAYING", "80", "0", "0"));
    ASSERT_EQ(iparsexmlfile(path_.c_str()), 0);
    request_thread_exit();
    EXPECT_EQ(cycle(), 1);
    EXPECT_EQ(g_doc, nullptr);
    EXPECT_TRUE(g_sleeps.empty());
    // The flag is for the whole process; later tests need it clear.
    g_pending_lock.lock();
    g_thread_exit = 0;
    g_pending_lock.unlock();
}

}  // namespace
