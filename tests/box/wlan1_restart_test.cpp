// The two daemons that restart the DHCP client on wlan1 (the Wi-Fi client
// keeper's reconnect, the WAN watcher's cable-out pass) doing so at the same
// moment, against one table of processes: each kill lists the clients, then
// waits a little for the other to list them too, as two shells may.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "client_lock.h"
#include "client_loop.h"
#include "test_files.h"
#include "wan_paths.h"
#include "wan_state.h"

namespace {

std::mutex g_table_lock;
std::set<int> g_clients;  // DHCP clients on wlan1, by number
int g_next = 1;
std::atomic<int> g_listing{0};
std::string g_lock_path;
ClientLock* g_survey_lock = nullptr;

void kill_listed() {
    std::set<int> listed;
    {
        std::lock_guard<std::mutex> l(g_table_lock);
        listed = g_clients;
    }
    ++g_listing;
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    while (g_listing < 2 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    std::lock_guard<std::mutex> l(g_table_lock);
    for (int c : listed) g_clients.erase(c);
}

void run_command(const char* cmd) {
    std::string c = cmd;
    if (c.rfind("kill -9 ", 0) == 0 && c.find("wlan1") != std::string::npos) kill_listed();
    if (c.rfind("udhcpc ", 0) == 0 && c.find("-i wlan1") != std::string::npos) {
        std::lock_guard<std::mutex> l(g_table_lock);
        g_clients.insert(g_next++);
    }
}

bool any_client() {
    std::lock_guard<std::mutex> l(g_table_lock);
    return !g_clients.empty();
}

int survey_run(const char* cmd) {
    run_command(cmd);
    return 0;
}
void survey_sleep(unsigned) {}
int survey_set(char*) { return 0; }
bool survey_find(const char* name) { return strcmp(name, "dhcp-wlan1") == 0 && any_client(); }
void survey_hold(bool on) {
    if (on)
        g_survey_lock->lock();
    else
        g_survey_lock->unlock();
}

class WanWorld final : public WanSystem {
public:
    bool begin_pass() override { return true; }
    void end_pass() override {}
    bool eth0_running() override { return false; }
    void read_proto(char*, size_t) override {}
    int open_socket() override { return -1; }
    bool eth0_has_address(int) override { return false; }
    bool find_process(const char* name) override {
        return strcmp(name, WAN_PROC_WLAN1) == 0 && any_client();
    }
    void run(const char* cmd) override { run_command(cmd); }
    bool pause() override { return false; }
    void hold_wlan1_client(bool on) override {
        if (on)
            lock_.lock();
        else
            lock_.unlock();
    }

private:
    ClientLock lock_{g_lock_path.c_str()};
};

TEST(ClientLock, OneHolderAtATime) {
    TempDir dir;
    std::string path = dir.file("x.lock");
    ClientLock a(path.c_str()), b(path.c_str());
    ASSERT_TRUE(a.lock());
    EXPECT_FALSE(b.try_lock());
    EXPECT_FALSE(b.held());
    a.unlock();
    EXPECT_TRUE(b.try_lock());
    EXPECT_FALSE(a.try_lock());
    b.unlock();
    EXPECT_TRUE(a.lock());

    // No folder for the lock file: the caller goes on unlocked.
    ClientLock nowhere(dir.file("missing/x.lock").c_str());
    EXPECT_FALSE(nowhere.lock());
    EXPECT_FALSE(nowhere.held());
}

TEST(Wlan1Restart, TwoDaemonsAtOnceLeaveOneClient) {
    TempDir dir;
    g_lock_path = dir.file("dhcp-wlan1.lock");
    for (int round = 0; round < 3; round++) {
        g_clients = {0};
        g_next = 1;
        g_listing = 0;
        ClientLock survey_lock(g_lock_path.c_str());
        g_survey_lock = &survey_lock;
        SurveyIo io{};
        io.run = survey_run;
        io.sleep_s = survey_sleep;
        io.set_option = survey_set;
        io.find = survey_find;
        io.hold_wlan1_client = survey_hold;
        SurveyState st;
        WanWorld wan;
        WanState ws;
        ws.prev_link = true;

        testing::internal::CaptureStdout();
        std::thread survey([&] { reconnect(st, io, "6"); });
        std::thread watcher([&] { wan_step(ws, false, "dhcp", wan, -1); });
        survey.join();
        watcher.join();
        testing::internal::GetCapturedStdout();

        std::lock_guard<std::mutex> l(g_table_lock);
        EXPECT_EQ(g_clients.size(), 1u) << "round " << round;
        EXPECT_EQ(g_clients.count(0), 0u) << "the old client lives on, round " << round;
    }
}

}  // namespace
