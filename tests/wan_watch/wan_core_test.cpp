// The watcher's passes against a scripted world that journals every command
// and query, one pass a line.
#include "wan_loop.h"
#include "wan_paths.h"
#include "wan_state.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
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
    int open_socket() override { return socket_fails_at == at_ ? -1 : open("/dev/null", O_RDONLY); }
    bool eth0_has_address(int) override {
        note("addr?");
        return cur().address;
    }
    bool find_process(const char* name) override {
        note(std::string("find ") + name);
        return found;
    }
    void run(const char* cmd) override {
        if (strcmp(cmd, WAN_CMD_COMMIT) != 0)
            note(short_name(cmd));
        else
            commits++;
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
        const struct {
            const char* cmd;
            const char* name;
        } names[] = {
            {WAN_CMD_DELIF, "delif"},         {WAN_CMD_ADDIF, "addif"},
            {WAN_CMD_KILL_ETH0, "kill eth0"}, {WAN_CMD_KILL_WLAN1, "kill wlan1"},
            {WAN_CMD_DHCP_ETH0, "dhcp eth0"}, {WAN_CMD_DHCP_WLAN1, "dhcp wlan1"},
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

const char* const kCableIn = "find eth0, kill eth0, delif, dhcp eth0";
const char* const kCableOut =
    "delif, find eth0, kill eth0, dhcp eth0, find dhcp-wlan1, kill wlan1, dhcp wlan1";

}  // namespace

// The real cable, lease and bridge are covered end to end; here the cases
// the box's network does not show.
TEST(WanCore, NoClientFoundMeansNoKillAndTheCheckComesInTheFifthPass) {
    ScriptedSystem sys(repeat({true, "dhcp", false}, 7));
    sys.found = false;
    EXPECT_EQ((std::vector<std::string>{"find eth0, delif, dhcp eth0", "-", "-", "-", "-",
                                        "addr?, find eth0, addif", "-"}),
              run_passes(sys));
    EXPECT_EQ(7, sys.commits);  // "uci commit" ends every pass
}

TEST(WanCore, PppoeResetsAndOtherValuesOnlyLetTheWaitRunOut) {
    // pppoe ends a wait and ignores the link; dhcp then waits for a change.
    ScriptedSystem pppoe({{true, "dhcp"},
                          {false, "pppoe"},
                          {true, "pppoe"},
                          {true, "dhcp"},
                          {true, "dhcp"},
                          {true, "dhcp"},
                          {true, "dhcp"},
                          {true, "dhcp"},
                          {false, "dhcp"}});
    std::vector<std::string> want = {kCableIn};
    want.insert(want.end(), 7, "-");
    want.push_back(kCableOut);
    EXPECT_EQ(want, run_passes(pppoe));

    // Another value ignores the link but the pending check still comes.
    std::vector<Pass> p = {{true, "dhcp"}};
    auto other = repeat({false, "none"}, 5);
    p.insert(p.end(), other.begin(), other.end());
    p.push_back({true, ""});
    ScriptedSystem sys(p);
    EXPECT_EQ((std::vector<std::string>{kCableIn, "-", "-", "-", "-",
                                        "addr?, find eth0, kill eth0, addif", "-"}),
              run_passes(sys));
}

TEST(WanCore, NoUciContextKeepsTheValueAndASocketFailureEndsWithStatusZero) {
    ScriptedSystem no_ctx({{true, "static"}, {false, "static"}});
    no_ctx.ctx_ok = false;
    EXPECT_EQ((std::vector<std::string>{kCableIn, kCableOut}), run_passes(no_ctx, "dhcp"));

    ScriptedSystem sys(repeat({true, "dhcp"}, 5));
    sys.socket_fails_at = 2;
    char proto[WAN_PROTO_SIZE] = "";
    char out[64] = "";
    FILE* f = fmemopen(out, sizeof out, "w");
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(0, wan_watch_run(sys, proto, f));
    fclose(f);
    EXPECT_STREQ("got the bug !\n", out);
    EXPECT_EQ((std::vector<std::string>{kCableIn, "-"}), sys.journal);
    EXPECT_EQ(2, sys.commits);  // the failing pass runs nothing
}
