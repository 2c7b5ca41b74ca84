// The watchdog's pass against canned command outputs: what the box cannot
// easily show (pipes that cannot be opened) and the address argument parse.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <string>

#include "renderer_config.h"
#include "renderer_line.h"
#include "renderer_pass.h"

namespace {

// Output per command; a command missing from the map cannot be opened.
std::map<std::string, std::string> g_out;
std::string g_calls;

FILE* fake_open(const char* cmd) {
    g_calls += std::string("? ") + cmd + "\n";
    auto it = g_out.find(cmd);
    if (it == g_out.end()) {
        errno = EMFILE;
        return nullptr;
    }
    // fmemopen refuses a zero size: an empty output is a stream at its end.
    if (it->second.empty()) return fopen("/dev/null", "r");
    return fmemopen(const_cast<char*>(it->second.data()), it->second.size(), "r");
}

int fake_run(const char* cmd) {
    g_calls += std::string("! ") + cmd + "\n";
    return 0;
}

unsigned fake_sleep(unsigned s) {
    g_calls += "sleep " + std::to_string(s) + "\n";
    return 0;
}

const RendererOps kOps = {fake_open, fclose, fake_run, fake_sleep};
const char* kStart = "192.168.222.254";
const char* kRenderer =
    "  7 root  2000 S  velmar -f friendly-name Box ip-address 192.168.222.254 -p 1\n";

// One pass; failed_pipes "popen" lines are expected on stderr.
std::string pass(int failed_pipes = 0, RendererPassResult expect = RC_GO_ON) {
    g_calls.clear();
    testing::internal::CaptureStderr();
    EXPECT_EQ(expect, renderer_pass(kOps, kStart));
    std::string expect_err;
    for (int i = 0; i < failed_pipes; ++i)
        expect_err += std::string("popen: ") + strerror(EMFILE) + "\n";
    EXPECT_EQ(expect_err, testing::internal::GetCapturedStderr());
    return g_calls;
}

std::string q(const char* cmd) { return std::string("? ") + cmd + "\n"; }

TEST(RendererPass, PipesThatCannotBeOpened) {
    // Renderer and AirPlay queries: taken as daemons not running.
    g_out = {};
    EXPECT_EQ(q(RC_QUERY_RENDERER) + "! gorlin\nsleep 5\n" + q(RC_QUERY_AIRPLAY) + "! quorin\n",
              pass(2));

    // The WWAN query: an empty answer, the LAN query not tried, no exit; the
    // count query failing is a count other than 2.
    g_out = {{RC_QUERY_RENDERER, kRenderer}};
    EXPECT_EQ(q(RC_QUERY_RENDERER) + q(RC_QUERY_WWAN) + q(RC_QUERY_COUNT) + "! gorlin\nsleep 5\n",
              pass(2));

    // The LAN query after a silent WWAN query: also an empty answer.
    g_out = {{RC_QUERY_RENDERER, kRenderer},
             {RC_QUERY_WWAN, ""},
             {RC_QUERY_COUNT, "2\n"},
             {RC_QUERY_AIRPLAY, "pravik\n"}};
    EXPECT_EQ(q(RC_QUERY_RENDERER) + q(RC_QUERY_WWAN) + q(RC_QUERY_LAN) + q(RC_QUERY_COUNT) +
                  "! gorlin\nsleep 5\n" + q(RC_QUERY_AIRPLAY),
              pass(1));
}

TEST(RendererPass, LastWwanLineFirstLanLine) {
    g_out = {{RC_QUERY_RENDERER, std::string("velmar -x\n") + kRenderer},
             {RC_QUERY_WWAN, "10.0.0.1\n192.168.222.254\n"},
             {RC_QUERY_AIRPLAY, "pravik\n"}};
    EXPECT_EQ(q(RC_QUERY_RENDERER) + q(RC_QUERY_WWAN) + "sleep 5\n" + q(RC_QUERY_AIRPLAY), pass());

    g_out[RC_QUERY_WWAN] = "";
    g_out[RC_QUERY_LAN] = "192.168.222.254\n10.0.0.1\n";
    EXPECT_EQ(q(RC_QUERY_RENDERER) + q(RC_QUERY_WWAN) + q(RC_QUERY_LAN) + "sleep 5\n" +
                  q(RC_QUERY_AIRPLAY),
              pass());

    g_out[RC_QUERY_LAN] = "";
    EXPECT_EQ(q(RC_QUERY_RENDERER) + q(RC_QUERY_WWAN) + q(RC_QUERY_LAN), pass(0, RC_NO_ADDRESS));
}

TEST(RendererLine, AddressArgument) {
    char out[20];
    auto addr = [&](const std::string& line) {
        memset(out, 'z', sizeof out);
        bool ok = renderer_address(line.data(), line.size(), out, sizeof out);
        return ok ? std::string(out) : "none:" + std::string(out);
    };
    EXPECT_EQ("1.2.3.4", addr("velmar ip-address 1.2.3.4 -p 1\n"));
    EXPECT_EQ("1.2.3.4", addr("velmar ip-address 1.2.3.4\n"));
    EXPECT_EQ("1.2.3.4", addr("velmar ip-address 1.2.3.4"));
    EXPECT_EQ("", addr("velmar friendly-name X ip-address "));
    EXPECT_EQ("none:", addr("velmar friendly-name X ip-address"));
    EXPECT_EQ("none:", addr("velmar --ip-address=1.2.3.4"));
    // Only the first mark counts; an overlong argument is cut, never overrun.
    EXPECT_EQ("a", addr("ip-address a ip-address b"));
    EXPECT_EQ("0123456789012345678", addr("ip-address 0123456789012345678901234"));
    // The explicit length is the end, whatever follows in memory.
    EXPECT_EQ("1.2", std::string(addr(std::string("ip-address 1.2.3.4", 14))));
}

}  // namespace
