// The daemons' init scripts called before the kill list: which scripts, in
// which order, and nothing on a box without them.
#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <vector>

#include "fw_init_stop.h"
#include "test_files.h"

namespace {

std::vector<std::string> g_journal;

int fake_shell(const char* cmd)
{
    g_journal.push_back(cmd);
    return 0;
}
unsigned fake_pause(unsigned s)
{
    g_journal.push_back("pause " + std::to_string(s));
    return 0;
}
const FwHooks HOOKS = {fake_shell, fake_pause};

void script(const TempDir& dir, const char* name, mode_t mode)
{
    ASSERT_TRUE(write_text(dir.file(name), "#!/bin/sh /etc/rc.common\n"));
    ASSERT_EQ(chmod(dir.file(name).c_str(), mode), 0);
}

class InitStop : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override { g_journal.clear(); }
};

TEST_F(InitStop, AllFiveWatchdogsFirst)
{
    for (const char* n : {"dorvu", "wan_watch", "wifi_survey", "renderer_ctl", "wifi_watch"})
        script(dir, n, 0755);
    script(dir, "network", 0755);  // not one of ours: left alone
    stop_init_services(HOOKS, dir.path().c_str());
    const std::string d = dir.path() + "/";
    std::vector<std::string> want = {d + "wifi_watch stop", d + "renderer_ctl stop", d + "wifi_survey stop",
                                     d + "wan_watch stop", d + "dorvu stop"};
    EXPECT_EQ(g_journal, want);
}

TEST_F(InitStop, OnlyTheScriptsThatExistAndRun)
{
    script(dir, "dorvu", 0755);
    script(dir, "renderer_ctl", 0644);  // not executable: it could not run
    stop_init_services(HOOKS, dir.path().c_str());
    std::vector<std::string> want = {dir.path() + "/dorvu stop"};
    EXPECT_EQ(g_journal, want);
}

TEST_F(InitStop, NoScriptsNoCommands)
{
    stop_init_services(HOOKS, dir.path().c_str());
    stop_init_services(HOOKS, (dir.path() + "/missing").c_str());
    EXPECT_TRUE(g_journal.empty());
}

TEST_F(InitStop, TheServiceStopBeginsWithThemOnTheBoxPath)
{
    // stop_services uses /etc/init.d; on a PC without the box's scripts the
    // list starts as it always did.
    stop_services(HOOKS);
    ASSERT_FALSE(g_journal.empty());
    struct stat st;
    if (stat("/etc/init.d/dorvu", &st) == 0) GTEST_SKIP() << "this machine has /etc/init.d/dorvu";
    EXPECT_EQ(g_journal.front(), "rm -f /tmp/fwupgrade");
}

}  // namespace
