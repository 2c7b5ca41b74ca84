// The daemons' init scripts called before the kill list: which scripts, in
// which order, and nothing on a box without them.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "fw_init_stop.h"
#include "fw_stop_wait.h"
#include "test_files.h"

namespace {

std::vector<std::string> g_journal;

int fake_shell(const char* cmd) {
    g_journal.push_back(cmd);
    return 0;
}
unsigned fake_pause(unsigned s) {
    g_journal.push_back("pause " + std::to_string(s));
    return 0;
}
const FwHooks HOOKS = {fake_shell, fake_pause};

void script(const TempDir& dir, const char* name, mode_t mode) {
    ASSERT_TRUE(write_text(dir.file(name), "#!/bin/sh /etc/rc.common\n"));
    ASSERT_EQ(chmod(dir.file(name).c_str(), mode), 0);
}

class InitStop : public ::testing::Test {
protected:
    TempDir dir;
    TempDir no_procs;  // the machine's own processes are none of the test's business
    void SetUp() override { g_journal.clear(); }
};

TEST_F(InitStop, AllFiveWatchdogsFirst) {
    for (const char* n : {"dorvu", "wan_watch", "wifi_survey", "renderer_ctl", "wifi_watch"})
        script(dir, n, 0755);
    script(dir, "network", 0755);  // not one of ours: left alone
    stop_init_services(HOOKS, dir.path().c_str(), no_procs.path().c_str());
    const std::string d = dir.path() + "/";
    std::vector<std::string> want = {d + "wifi_watch stop", d + "renderer_ctl stop",
                                     d + "wifi_survey stop", d + "wan_watch stop",
                                     d + "dorvu stop"};
    EXPECT_EQ(g_journal, want);
}

TEST_F(InitStop, OnlyTheScriptsThatExistAndRun) {
    script(dir, "dorvu", 0755);
    script(dir, "renderer_ctl", 0644);  // not executable: it could not run
    stop_init_services(HOOKS, dir.path().c_str(), no_procs.path().c_str());
    std::vector<std::string> want = {dir.path() + "/dorvu stop"};
    EXPECT_EQ(g_journal, want);
}

TEST_F(InitStop, NoScriptsNoCommands) {
    stop_init_services(HOOKS, dir.path().c_str());
    stop_init_services(HOOKS, (dir.path() + "/missing").c_str());
    EXPECT_TRUE(g_journal.empty());
}

// A process table of its own: PID/stat as the kernel writes it.
void proc_entry(const TempDir& proc, const char* pid, const std::string& comm, char state) {
    ASSERT_EQ(mkdir(proc.file(pid).c_str(), 0755), 0);
    ASSERT_TRUE(write_text(proc.file(pid) + "/stat",
                           std::string(pid) + " (" + comm + ") " + state + " 1 1 1 0"));
}

TempDir* g_proc = nullptr;
// A stop whose daemon ends while it returns: its process leaves the table.
int ending_shell(const char* cmd) {
    g_journal.push_back(cmd);
    if (std::string(cmd).find("/wifi_watch stop") != std::string::npos)
        remove(g_proc->file("10/stat").c_str());
    return 0;
}

TEST_F(InitStop, EachStopWaitsUntilItsDaemonIsGone) {
    TempDir proc;
    g_proc = &proc;
    proc_entry(proc, "10", "wifi_watch", 'S');
    proc_entry(proc, "11", "renderer_ctl", 'Z');     // ended, not yet reaped
    proc_entry(proc, "12", "dorvu (x) y", 'S');      // a name with blanks and parentheses
    proc_entry(proc, "13", "wifi_survey_lon", 'R');  // the kernel keeps 15 characters
    EXPECT_FALSE(fw_process_runs(proc.path().c_str(), "renderer_ctl"));
    EXPECT_FALSE(fw_process_runs(proc.path().c_str(), "dorvu"));
    EXPECT_TRUE(fw_process_runs(proc.path().c_str(), "dorvu (x) y"));
    EXPECT_TRUE(fw_process_runs(proc.path().c_str(), "wifi_survey_longer"));
    EXPECT_FALSE(fw_process_runs(proc.path().c_str(), "wifi_survey"));

    for (const char* n : {"wifi_watch", "renderer_ctl"}) script(dir, n, 0755);
    const FwHooks hooks = {ending_shell, fake_pause};
    auto t0 = std::chrono::steady_clock::now();
    stop_init_services(hooks, dir.path().c_str(), proc.path().c_str());
    EXPECT_LT(std::chrono::steady_clock::now() - t0,
              std::chrono::milliseconds(FW_STOP_WAIT_MS / 2));
    EXPECT_EQ(g_journal.size(), 2u);

    // One that does not end is waited for up to the bound, no longer.
    proc_entry(proc, "14", "wifi_watch", 'S');
    EXPECT_FALSE(fw_wait_gone(proc.path().c_str(), "wifi_watch", 2 * FW_STOP_POLL_MS));
    EXPECT_TRUE(fw_wait_gone(proc.path().c_str(), "wan_watch", 0));
}

TEST_F(InitStop, TheServiceStopBeginsWithThemOnTheBoxPath) {
    // stop_services uses /etc/init.d; on a PC without the box's scripts the
    // list starts as it always did.
    stop_services(HOOKS);
    ASSERT_FALSE(g_journal.empty());
    struct stat st;
    if (stat("/etc/init.d/dorvu", &st) == 0) GTEST_SKIP() << "this machine has /etc/init.d/dorvu";
    EXPECT_EQ(g_journal.front(), "rm -f /tmp/fwupgrade");
}

}  // namespace
