// The watchdog's decisions on what the box cannot easily show: a process
// list that cannot be read, hostapd coming back late in an outage, and what
// stands at the log's path at start-up.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "test_files.h"
#include "watch.h"

namespace {

std::string g_calls;
// Answers of the hostapd query, one per call: 'y' running, 'n' missing,
// 'x' pipe failure. Past the end: running.
std::string g_answers;
size_t g_asked;

int fake_run(const char* cmd) {
    g_calls += cmd;
    g_calls += '\n';
    return 0;
}

long fake_read(const char*, char* out, size_t n) {
    char a = g_asked < g_answers.size() ? g_answers[g_asked] : 'y';
    ++g_asked;
    g_calls += "ps\n";
    if (a == 'x') return -1;
    const char* line = a == 'y' ? " 9 root  1000 S  hostapd -B x\n" : "";
    snprintf(out, n, "%s", line);
    return (long)strlen(out);
}

unsigned fake_sleep(unsigned s) {
    g_calls += "sleep " + std::to_string(s) + "\n";
    return 0;
}

const WatchOps kOps = {fake_run, fake_read, fake_sleep};

std::string pass_with(const char* answers) {
    g_calls.clear();
    g_answers = answers;
    g_asked = 0;
    wifi_watch_pass(kOps);
    return g_calls;
}

const char* kDown = "echo `date` wifi: down>>/usr/mips/www/korvanta.log\nwifi up\nsleep 10\n";

TEST(WifiWatchPass, UnreadableProcessListCountsAsRunning) {
    EXPECT_EQ("ps\nsleep 60\n", pass_with("x"));
    // Within an outage too: the failed re-check ends it as if hostapd were back.
    EXPECT_EQ(std::string("ps\n") + kDown + "ps\n" +
                  "echo `date` wifi: up>>/usr/mips/www/korvanta.log\nsync\nsync\nsleep 60\n",
              pass_with("nx"));
}

TEST(WifiWatchPass, BackAtTheLastRecheckIsNoReboot) {
    std::string expect = "ps\n";
    expect += kDown;
    for (int i = 0; i < 5; ++i) expect += std::string("ps\n") + kDown;
    // Five re-checks found nothing; the sixth attempt is not re-checked.
    std::string all_missing = expect +
                              "echo `date` wifi: reboot>>/usr/mips/www/korvanta.log\n"
                              "sync\nreboot -f\nsync\nsync\nsleep 60\n";
    EXPECT_EQ(all_missing, pass_with("nnnnnny"));
    std::string back = "ps\n";
    back += kDown;
    for (int i = 0; i < 4; ++i) back += std::string("ps\n") + kDown;
    back += "ps\necho `date` wifi: up>>/usr/mips/www/korvanta.log\nsync\nsync\nsleep 60\n";
    EXPECT_EQ(back, pass_with("nnnnny"));
}

std::string log_check_at(const std::string& path) {
    g_calls.clear();
    wifi_watch_log_check(kOps, path.c_str());
    return g_calls;
}

const char* kMac = "cfg get mac >>/usr/mips/www/korvanta.log\n";
const char* kRm = "rm -f /usr/mips/www/korvanta.log\n";

TEST(WifiWatchLog, WhatIsNotAPlainFileIsRemovedBeforeTheMacLine) {
    TempDir dir;
    // A FIFO would hold the shell's append for ever.
    std::string fifo = dir.file("fifo");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0644));
    EXPECT_EQ(std::string(kRm) + kMac, log_check_at(fifo));

    // A symbolic link, to a small log or to nothing, would carry every line
    // into its target.
    std::string target = dir.file("target");
    ASSERT_TRUE(write_text(target, "00:11:22:33:44:55\n"));
    std::string link = dir.file("link");
    ASSERT_EQ(0, symlink(target.c_str(), link.c_str()));
    EXPECT_EQ(std::string(kRm) + kMac, log_check_at(link));
    std::string dangling = dir.file("dangling");
    ASSERT_EQ(0, symlink(dir.file("none").c_str(), dangling.c_str()));
    EXPECT_EQ(std::string(kRm) + kMac, log_check_at(dangling));

    std::string sub = dir.file("sub");
    ASSERT_EQ(0, mkdir(sub.c_str(), 0755));
    EXPECT_EQ(std::string(kRm) + kMac, log_check_at(sub));
}

TEST(WifiWatchLog, APlainFileIsKeptUpToTheLimit) {
    TempDir dir;
    std::string log = dir.file("log");
    EXPECT_EQ(kMac, log_check_at(log));  // missing: started with the MAC line
    ASSERT_TRUE(write_text(log, std::string(65530, 'x')));
    EXPECT_EQ("", log_check_at(log));
    ASSERT_TRUE(write_text(log, std::string(65531, 'x')));
    EXPECT_EQ(std::string(kRm) + kMac + "sync\n", log_check_at(log));
}

}  // namespace
