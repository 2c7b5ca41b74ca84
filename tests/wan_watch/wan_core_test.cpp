// The watcher's passes against a scripted world that journals every command
// and query, one pass a line.
#include "wan_loop.h"
#include "wan_paths.h"
#include "wan_state.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// One pass of the scripted world. proto nullptr: the option cannot be read.
struct Pass {
    bool link;
    const char* proto;
    bool address = false;
};

class ScriptedSystem final : public WanSystem {
public:
    explicit ScriptedSystem(std::vector<Pass> passes) : passes_(std::move(passes)) {}

    bool begin_pass() override {
        line_.clear();
        return ctx_ok;
    }
    void end_pass() override {}
    bool eth0_running() override { return cur().link; }
    void read_proto(char* proto, size_t n) override {
        if (cur().proto) snprintf(proto, n, "%s", cur().proto);
    }
    int open_socket() override { return socket_fails_at == at_ ? -1 : dup(0); }
    bool eth0_has_address(int) override {
        note("addr?");
        return cur().address;
    }
    bool find_process(const char* name) override {
        note(std::string("find ") + name);
        return found;
    }
    void run(const char* cmd) override {
        if (strcmp(cmd, WAN_CMD_COMMIT) != 0) note(short_name(cmd));
        else commits++;
    }
    bool pause() override {
        journal.push_back(line_.empty() ? "-" : line_);
        return ++at_ < passes_.size();
    }

    bool ctx_ok = true;
    bool found = true;
    size_t socket_fails_at = (size_t)-1;
    int commits = 0;
    std::vector<std::string> journal;

private:
    const Pass& cur() const { return passes_[at_]; }
    void note(const std::string& s) { line_ += line_.empty() ? s : ", " + s; }
    static std::string short_name(const char* cmd) {
        const struct { const char* cmd; const char* name; } names[] = {
            {WAN_CMD_DELIF, "delif"},           {WAN_CMD_ADDIF, "addif"},
            {WAN_CMD_KILL_ETH0, "kill eth0"},   {WAN_CMD_KILL_WLAN1, "kill wlan1"},
            {WAN_CMD_DHCP_ETH0, "dhcp eth0"},   {WAN_CMD_DHCP_WLAN1, "dhcp wlan1"},
        };
        for (const auto& n : names)
            if (strcmp(cmd, n.cmd) == 0) return n.name;
        return std::string("? ") + cmd;
    }

    std::vector<Pass> passes_;
    size_t at_ = 0;
    std::string line_;
};

std::vector<std::string> run_passes(ScriptedSystem& sys, const char* start = "") {
    char proto[WAN_PROTO_SIZE];
    snprintf(proto, sizeof proto, "%s", start);
    EXPECT_EQ(0, wan_watch_run(sys, proto, stdout));
    return sys.journal;
}

std::vector<Pass> repeat(Pass p, int n) { return std::vector<Pass>(n, p); }

const std::vector<std::string> kCableIn = {"find eth0, kill eth0, delif, dhcp eth0", "-", "-", "-", "-"};

}  // namespace

TEST(WanCore, CableInAtStartChecksTheAddressInTheFifthPassAfter) {
    ScriptedSystem no_lease(repeat({true, "dhcp", false}, 8));
    std::vector<std::string> want = kCableIn;
    want.insert(want.end(), {"addr?, find eth0, kill eth0, addif", "-", "-"});
    EXPECT_EQ(want, run_passes(no_lease));
    EXPECT_EQ(8, no_lease.commits);  // "uci commit" ends every pass

    ScriptedSystem lease(repeat({true, "dhcp", true}, 8));
    want = kCableIn;
    want.insert(want.end(), {"addr?", "-", "-"});
    EXPECT_EQ(want, run_passes(lease));

    // No client found: nothing to kill, the rest as before.
    ScriptedSystem none_found(repeat({true, "dhcp", false}, 7));
    none_found.found = false;
    EXPECT_EQ((std::vector<std::string>{"find eth0, delif, dhcp eth0", "-", "-", "-", "-",
                                        "addr?, find eth0, addif", "-"}),
              run_passes(none_found));
}

TEST(WanCore, CablePulledRestartsBothClientsAndEndsTheWait) {
    std::vector<Pass> p = {{true, "dhcp"}, {true, "dhcp"}, {false, "dhcp"}};
    auto down = repeat({false, "dhcp"}, 6);
    p.insert(p.end(), down.begin(), down.end());
    p.push_back({true, "dhcp"});
    ScriptedSystem sys(p);
    std::vector<std::string> want = {"find eth0, kill eth0, delif, dhcp eth0", "-",
                                     "delif, find eth0, kill eth0, dhcp eth0, find dhcp-wlan1, kill wlan1, dhcp wlan1"};
    want.insert(want.end(), 6, "-");  // link lost: no address check
    want.push_back("find eth0, kill eth0, delif, dhcp eth0");
    EXPECT_EQ(want, run_passes(sys));
}

TEST(WanCore, StaticAndPppoeOnlyResetAndStaticToDhcpWaitsForTheLink) {
    std::vector<Pass> p = {{true, "dhcp"}, {true, "dhcp"}, {true, "static"}};
    auto more = repeat({true, "dhcp"}, 6);  // back to dhcp, cable still in
    p.insert(p.end(), more.begin(), more.end());
    // Link changes under pppoe only update the previous link.
    p.insert(p.end(), {{false, "pppoe"}, {true, "pppoe"}, {true, "dhcp"}, {true, "dhcp"}});
    ScriptedSystem sys(p);
    std::vector<std::string> want = {"find eth0, kill eth0, delif, dhcp eth0", "-"};
    want.insert(want.end(), 9, "-");  // no address check, nothing undone
    want.push_back("-");               // dhcp with the link unchanged
    want.push_back("-");
    EXPECT_EQ(want, run_passes(sys));

    // A later link change under dhcp acts again.
    ScriptedSystem back({{true, "static"}, {true, "dhcp"}, {false, "dhcp"}, {true, "dhcp"}});
    EXPECT_EQ((std::vector<std::string>{
                  "-", "-",
                  "delif, find eth0, kill eth0, dhcp eth0, find dhcp-wlan1, kill wlan1, dhcp wlan1",
                  "find eth0, kill eth0, delif, dhcp eth0"}),
              run_passes(back));
}

TEST(WanCore, UnreadableOrOtherProtocolKeepsTheLastValueAndTheWait) {
    // Unreadable after the first pass: "dhcp" stays in the buffer.
    ScriptedSystem kept({{true, "dhcp"}, {true, nullptr}, {false, nullptr}});
    EXPECT_EQ((std::vector<std::string>{
                  "find eth0, kill eth0, delif, dhcp eth0", "-",
                  "delif, find eth0, kill eth0, dhcp eth0, find dhcp-wlan1, kill wlan1, dhcp wlan1"}),
              run_passes(kept));

    // Another value lets a pending wait run out but ignores the link.
    std::vector<Pass> p = {{true, "dhcp"}};
    auto other = repeat({false, "none"}, 5);
    p.insert(p.end(), other.begin(), other.end());
    p.push_back({true, ""});
    ScriptedSystem sys(p);
    std::vector<std::string> want = kCableIn;
    want.insert(want.end(), {"addr?, find eth0, kill eth0, addif", "-"});
    EXPECT_EQ(want, run_passes(sys));

    // No UCI context: the lookup is skipped, the buffer kept.
    ScriptedSystem no_ctx({{true, "static"}, {true, "static"}});
    no_ctx.ctx_ok = false;
    EXPECT_EQ((std::vector<std::string>{"find eth0, kill eth0, delif, dhcp eth0", "-"}),
              run_passes(no_ctx, "dhcp"));
}

TEST(WanCore, SocketFailureEndsTheProgramWithStatusZero) {
    ScriptedSystem sys(repeat({true, "dhcp"}, 5));
    sys.socket_fails_at = 2;
    char proto[WAN_PROTO_SIZE] = "";
    char out[64] = "";
    FILE* f = fmemopen(out, sizeof out, "w");
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(0, wan_watch_run(sys, proto, f));
    fclose(f);
    EXPECT_STREQ("got the bug !\n", out);
    EXPECT_EQ((std::vector<std::string>{"find eth0, kill eth0, delif, dhcp eth0", "-"}), sys.journal);
    EXPECT_EQ(2, sys.commits);  // the failing pass runs nothing
}
