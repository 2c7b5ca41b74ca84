// The watchdog's decisions on what the box cannot easily show: a process
// list that cannot be read, and hostapd coming back late in an outage.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

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

}  // namespace
