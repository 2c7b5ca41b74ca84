// get_uci_option and set_uci_option on the stand-in, with the `uci` command
// for the commit.
#include "uci_fixture.h"
#include "uci_option.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class UciOption : public ::testing::Test {
protected:
    UciDirs dirs;
    char path[512];
    char value[64];

    void SetUp() override {
        dirs.config(WL,
                    "config wifi-device 'radio0'\n\toption channel '11'\n"
                    "config wifi-iface\n\toption ssid 'BoxAP'\n"
                    "config wifi-iface\n\toption ssid 'Upstream'\n\toption key '0123456789abcde'\n"
                    "\tlist dns 'a'\n\tlist dns 'b'\n\tlist dns 'c'\n");
        g_uci_ctx = dirs.context();
        g_uci_markers = false;
        strcpy(value, "untouched");
    }
    void TearDown() override {
        uci_free_context(g_uci_ctx);
        g_uci_ctx = nullptr;
    }
    // Runs get_uci_option on a fresh copy of p; out/err get what it printed.
    int get(const char* p, size_t size, std::string* out, std::string* err) {
        snprintf(path, sizeof path, "%s", p);
        Capture o(1), e(2);
        int r = get_uci_option(path, value, size);
        *out = o.text();
        *err = e.text();
        return r;
    }
};

TEST_F(UciOption, ReadsWhatThePathNames) {
    std::string out, err;
    EXPECT_EQ(get(WL ".@wifi-iface[1].ssid", sizeof value, &out, &err), 0);
    EXPECT_STREQ(value, "Upstream");
    EXPECT_EQ(out + err, "");

    strcpy(value, "untouched");
    EXPECT_EQ(get(WL ".@wifi-iface[1]", sizeof value, &out, &err), 0);
    EXPECT_EQ(out, "wifi-iface\n");
    EXPECT_STREQ(value, "untouched");

    EXPECT_EQ(get(WL ".@wifi-iface[-1].dns", sizeof value, &out, &err), 0);
    EXPECT_EQ(out, "a b c\n");
    EXPECT_STREQ(value, "untouched");
}

TEST_F(UciOption, FailuresLeaveTheBufferAndPrintTheMarkersAsAsked) {
    std::string out, err;
    for (bool markers : {false, true}) {
        g_uci_markers = markers;
        EXPECT_EQ(get(WL ".radio0.nosuch", sizeof value, &out, &err), 1);
        EXPECT_EQ(err, "uci: Entry not found\n");
        EXPECT_EQ(g_uci_ctx->err, UCI_ERR_NOTFOUND);  // the context tells it too
        EXPECT_EQ(out, markers ? "<yyyyyyyy>\n" : "");
        EXPECT_EQ(get(WL ".@wifi-iface[5].ssid", sizeof value, &out, &err), 1);
        EXPECT_EQ(out, markers ? "<yyyyyyyy>\n" : "");
        for (const char* bad : {"nopackage.a.b", WL ".a.b.c", WL ".@x[y].z"}) {
            EXPECT_EQ(get(bad, sizeof value, &out, &err), 1) << bad;
            EXPECT_EQ(out, markers ? "<zzzzzzz>\n" : "") << bad;
            EXPECT_EQ(err, "") << bad;
        }
        EXPECT_STREQ(value, "untouched");
    }
}

// The not-found report is written directly: the same single line on every
// call, however many passes a daemon makes.
TEST_F(UciOption, NotFoundReportStaysOneLinePerCall) {
    std::string out, err;
    snprintf(path, sizeof path, WL ".radio0.nosuch");
    Capture e(2);
    for (int i = 0; i < 300; i++) {
        snprintf(path, sizeof path, WL ".radio0.nosuch");
        ASSERT_EQ(get_uci_option(path, value, sizeof value), 1);
    }
    std::string all = e.text();
    std::string line = "uci: Entry not found\n";
    std::string expected;
    for (int i = 0; i < 300; i++) expected += line;
    EXPECT_EQ(all, expected);
}

// A cut value would be another value: refused, buffer untouched.
TEST_F(UciOption, ValueLongerThanTheBufferIsRefused) {
    std::string out, err;
    EXPECT_EQ(get(WL ".@wifi-iface[1].key", 15, &out, &err), 1);
    EXPECT_STREQ(value, "untouched");
    EXPECT_EQ(err, "uci: value of " WL ".cfg033579.key too long (15 bytes, buffer 15)\n");
    EXPECT_EQ(out, "");
    EXPECT_EQ(get(WL ".@wifi-iface[1].key", 16, &out, &err), 0);
    EXPECT_STREQ(value, "0123456789abcde");
}

TEST_F(UciOption, SetIsPendingUntilUciCommit) {
    const std::string before = dirs.config_text(WL);
    snprintf(path, sizeof path, WL ".radio0.channel=%s", "6");
    Capture o(1), e(2);
    EXPECT_EQ(set_uci_option(path), 0);
    snprintf(path, sizeof path, WL ".@wifi-iface[1].proto=dhcp");
    EXPECT_EQ(set_uci_option(path), 0);  // a missing option is created
    snprintf(path, sizeof path, WL ".nosuch.channel=6");
    EXPECT_EQ(set_uci_option(path), 1);
    snprintf(path, sizeof path, WL ".radio0.a.b=6");
    EXPECT_EQ(set_uci_option(path), 1);
    EXPECT_EQ(o.text() + e.text(), "");
    EXPECT_EQ(dirs.config_text(WL), before);
    EXPECT_EQ(dirs.saved(WL), WL ".radio0.channel='6'\n" WL ".cfg033579.proto='dhcp'\n");

    std::string cmd =
        std::string(BOX_BUILD "/bin/uci -c ") + dirs.conf + " -t " + dirs.save + " commit";
    ASSERT_EQ(system(cmd.c_str()), 0);
    std::string after = dirs.config_text(WL);
    EXPECT_NE(after.find("config wifi-device 'radio0'\n\toption channel '6'\n"), std::string::npos)
        << after;
    EXPECT_NE(after.find("\toption proto 'dhcp'\n"), std::string::npos) << after;
    EXPECT_EQ(dirs.saved(WL), "");
}

}  // namespace
