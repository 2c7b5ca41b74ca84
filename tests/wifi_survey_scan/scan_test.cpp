// cgi_scan and cgi_get_scan against the wireless driver stand-in, linked
// into this binary, with a recording waiter in place of select.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iwlib.h>
#include <string>
#include <vector>

#include "scan.h"
#include "test_files.h"

namespace {

std::vector<long> g_waits;
std::vector<int> g_wait_errors;  // errno of the next waits, 0 for success

int record_wait(long usec) {
    g_waits.push_back(usec);
    if (g_wait_errors.empty()) return 0;
    int err = g_wait_errors.front();
    g_wait_errors.erase(g_wait_errors.begin());
    if (!err) return 0;
    errno = err;
    return -1;
}

struct Result {
    int rc;
    std::string printed;
    std::string list;
    bool list_written;
};

const char WPA2_HOME[] =
    "cell 00:11:22:AA:BB:CC\nfreq 2437\nqual 60 -47 0\nencode on\nessid Home\n"
    "ie 30140100000fac040100000fac040100000fac020c00\n";

class Scan : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("BOX_WLAN_DIR", dir.path().c_str(), 1);
        g_waits.clear();
        g_wait_errors.clear();
    }

    void scenario(const std::string& text) { ASSERT_TRUE(write_text(dir.file("scenario"), text)); }

    Result run() {
        std::vector<char> list(AP_LIST_SIZE + 16, '\0');
        int sock = iw_sockets_open();
        EXPECT_GE(sock, 0);
        testing::internal::CaptureStdout();
        int rc = cgi_get_scan(sock, "wlan1", list.data(), AP_LIST_SIZE, record_wait);
        std::string out = testing::internal::GetCapturedStdout();
        close(sock);
        for (size_t i = AP_LIST_SIZE; i < list.size(); ++i)
            EXPECT_EQ('\0', list[i]) << "written past the list";
        bool written = false;
        for (size_t i = 0; i < AP_LIST_SIZE; ++i) written = written || list[i];
        return {rc, out, list.data(), written};
    }

    // The buffer sizes of the result reads, in order.
    std::vector<int> read_sizes() {
        std::vector<int> sizes;
        for (const std::string& line : read_lines(dir.file("journal"))) {
            size_t at = line.find("SIOCGIWSCAN size ");
            if (at != std::string::npos) sizes.push_back(atoi(line.c_str() + at + 17));
        }
        return sizes;
    }

    TempDir dir;
};

TEST_F(Scan, ListsNamedCellsInOrderWithTheirSecurity) {
    scenario(
        std::string(WPA2_HOME) +
        "cell 02:00:00:00:00:01\nfreq 2462\nqual 20 -80 0\nencode on\nessid-hex - 0\n"
        "cell 00:11:22:33:44:55\nchannel 1\nfreq 2412\nqual 40 -71 0\nencode off\nessid Cafe Free\n"
        "cell 02:00:00:00:00:02\nfreq 2472\nqual 20 -60 0\nencode on\nessid Old\n"
        "cell 02:00:00:00:00:03\nfreq 2442\nqual 20 -65 0\nencode on\nessid Mixed\n"
        "ie dd1a0050f20101000050f20202000050f2020050f2040100 0050f202\n"
        "ie 30180100000fac020200000fac02000fac040100000fac010000\n");
    Result r = run();
    EXPECT_EQ(0, r.rc);
    EXPECT_EQ("", r.printed);
    EXPECT_EQ(
        "<APList>"
        "<AP name=\"Home\" mac=\"001122AABBCC\" channel=\"6\" rssi=\"-47\" encrypt=\"WPA2-PSK\" "
        "tkip_aes=\"aes\" ></AP>"
        "<AP name=\"Cafe Free\" mac=\"001122334455\" channel=\"1\" rssi=\"-71\" encrypt=\"NONE\" "
        "tkip_aes=\"\" ></AP>"
        "<AP name=\"Old\" mac=\"020000000002\" channel=\"13\" rssi=\"-60\" encrypt=\"WEP\" "
        "tkip_aes=\"\" ></AP>"
        "<AP name=\"Mixed\" mac=\"020000000003\" channel=\"7\" rssi=\"-65\" "
        "encrypt=\"WPA/WPA2-1X\" tkip_aes=\"tkip/aes\" ></AP>"
        "</APList>",
        r.list);
    EXPECT_EQ(std::vector<long>{250000}, g_waits);
    EXPECT_EQ(std::vector<int>{4096}, read_sizes());
}

TEST_F(Scan, EmptyScanAndLevelsCarriedOver) {
    scenario("");
    Result r = run();
    EXPECT_EQ(0, r.rc);
    EXPECT_EQ("<APList></APList>", r.list);

    // No quality event: the level of the cell before; a level the flags mark
    // invalid is not taken either; a positive byte above 63 wraps.
    scenario(std::string(WPA2_HOME) + "cell 00:00:00:00:00:02\nfreq 2412\nencode off\nessid B\n" +
             "cell 00:00:00:00:00:03\nfreq 2412\nqual 20 -30 0 0x2a\nencode off\nessid C\n" +
             "cell 00:00:00:00:00:04\nfreq 2412\nqual 20 200 0 0x08\nencode off\nessid D\n");
    r = run();
    EXPECT_NE(std::string::npos,
              r.list.find("name=\"B\" mac=\"000000000002\" channel=\"1\" rssi=\"-47\""));
    EXPECT_NE(std::string::npos,
              r.list.find("name=\"C\" mac=\"000000000003\" channel=\"1\" rssi=\"-47\""));
    EXPECT_NE(std::string::npos,
              r.list.find("name=\"D\" mac=\"000000000004\" channel=\"1\" rssi=\"-56\""));
}

TEST_F(Scan, ResultsNeverReadyGiveUpAfterTheBudget) {
    scenario(std::string("eagain 1000\n") + WPA2_HOME);
    Result r = run();
    EXPECT_EQ(-2, r.rc);
    EXPECT_EQ("cgi_get_scan 55555555555555555555555555555 \n", r.printed);
    EXPECT_FALSE(r.list_written);
    std::vector<long> expected(1, 250000);
    expected.insert(expected.end(), 147, 100000);
    EXPECT_EQ(expected, g_waits);
    EXPECT_EQ(148u, read_sizes().size());

    // Ready at the last read the budget allows.
    scenario(std::string("eagain 147\n") + WPA2_HOME);
    g_waits.clear();
    r = run();
    EXPECT_EQ(0, r.rc);
    EXPECT_NE(std::string::npos, r.list.find("name=\"Home\""));
    EXPECT_EQ(148u, g_waits.size());
}

TEST_F(Scan, BufferGrowsToTheHintOrByDoubling) {
    scenario(std::string("e2big 1 hint 9000\n") + WPA2_HOME);
    EXPECT_EQ(0, run().rc);
    EXPECT_EQ((std::vector<int>{4096, 9000}), read_sizes());
    EXPECT_EQ(std::vector<long>{250000}, g_waits);  // no wait before the larger read

    unlink(dir.file("journal").c_str());
    scenario(std::string("e2big 4\n") + WPA2_HOME);
    EXPECT_EQ(0, run().rc);
    EXPECT_EQ((std::vector<int>{4096, 8192, 16384, 32768, 65535}), read_sizes());

    // Still too large at 65535: given up.
    scenario(std::string("e2big 5\n") + WPA2_HOME);
    Result r = run();
    EXPECT_EQ(-2, r.rc);
    EXPECT_EQ("cgi_get_scan 55555555555555555555555555555 \n", r.printed);
    EXPECT_FALSE(r.list_written);

    // Before version 17 a driver's E2BIG is final.
    scenario(std::string("we-version 16\ne2big 1 hint 9000\n") + WPA2_HOME);
    EXPECT_EQ(-2, run().rc);
}

TEST_F(Scan, RefusalsAndFailures) {
    struct Case {
        const char* scenario;
        std::vector<int> wait_errors;
        int rc;
        const char* line;
    } cases[] = {
        {"range off\n", {}, -1, "cgi_get_scan 1111111111111111111 \n"},
        {"we-version 13\n", {}, -1, "cgi_get_scan 1111111111111111111 \n"},
        {"trigger EBUSY\n", {}, -1, "cgi_get_scan 222222222222222222222222 \n"},
        {"read-error EIO\n", {}, -2, "cgi_get_scan 55555555555555555555555555555 \n"},
        {"", {EBADF}, -1, "cgi_get_scan 333333333333333333333333 \n"},
        {"", {EINTR, EAGAIN}, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenario);
        scenario(std::string(c.scenario) + WPA2_HOME);
        g_wait_errors = c.wait_errors;
        Result r = run();
        EXPECT_EQ(c.rc, r.rc);
        EXPECT_EQ(c.line, r.printed);
        EXPECT_EQ(c.rc == 0, r.list_written);
    }
    // Versions 14 and 15 can scan (older range record layout).
    scenario(std::string("we-version 14\n") + WPA2_HOME);
    EXPECT_EQ(0, run().rc);
}

TEST_F(Scan, TriggerRefusedWithEpermReadsAtOnce) {
    scenario(std::string("trigger EPERM\n") + WPA2_HOME);
    g_waits.clear();
    Result r = run();
    EXPECT_EQ(0, r.rc);
    EXPECT_NE(std::string::npos, r.list.find("name=\"Home\""));
    EXPECT_EQ(std::vector<long>{0}, g_waits);
}

TEST_F(Scan, ANameCannotForgeAttributes) {
    // 32 bytes, the most an ESSID holds: a reader that searches the list for
    // channel= and encrypt= would find these first.
    scenario(
        "cell 00:00:00:00:00:09\nfreq 2412\nqual 20 -50 0\nencode off\n"
        "essid Home\" channel=\"13\" encrypt=\"NONE\n" +
        std::string(WPA2_HOME));
    Result r = run();
    EXPECT_EQ(
        "<APList>"
        "<AP name=\"Home&quot; channel=&quot;13&quot; encrypt=&quot;NONE\" "
        "mac=\"000000000009\" channel=\"1\" rssi=\"-50\" encrypt=\"NONE\" tkip_aes=\"\" ></AP>"
        "<AP name=\"Home\" mac=\"001122AABBCC\" channel=\"6\" rssi=\"-47\" encrypt=\"WPA2-PSK\" "
        "tkip_aes=\"aes\" ></AP>"
        "</APList>",
        r.list);
}

TEST_F(Scan, AFullListKeepsWholeEntriesAndCloses) {
    std::string text = "size-hint on\n";
    const int cells = 60;
    for (int i = 0; i < cells; ++i) {
        char cell[200];
        snprintf(cell, sizeof cell,
                 "cell 00:00:00:00:01:%02X\nfreq 2412\nqual 20 -50 0\nencode off\nessid %02d%s\n",
                 i, i, "&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&");
        text += cell;
    }
    scenario(text);
    Result r = run();
    EXPECT_EQ(0, r.rc);
    ASSERT_LT(r.list.size(), AP_LIST_SIZE);
    EXPECT_GT(r.list.size(), AP_LIST_SIZE - 250);
    EXPECT_EQ("</APList>", r.list.substr(r.list.size() - 9));
    // Entries 0 to n-1, each whole, in order, and nothing else.
    size_t pos = 8, n = 0;
    while (r.list.compare(pos, 9, "</APList>") != 0) {
        char start[40];
        snprintf(start, sizeof start, "<AP name=\"%02zu&amp;", n);
        ASSERT_EQ(0, r.list.compare(pos, strlen(start), start)) << "entry " << n;
        size_t end = r.list.find("></AP>", pos);
        ASSERT_NE(std::string::npos, end);
        pos = end + 6;
        ++n;
    }
    EXPECT_EQ(pos + 9, r.list.size());
    EXPECT_LT(n, size_t(cells));
    // The results did not fit 4096 bytes: the driver's stated length was used.
    std::vector<int> sizes = read_sizes();
    ASSERT_EQ(2u, sizes.size());
    EXPECT_GT(sizes[1], 4096);
}

TEST_F(Scan, CgiScanReturnsZeroWhateverTheScan) {
    scenario("range off\n");
    char list[AP_LIST_SIZE] = {};
    testing::internal::CaptureStdout();
    EXPECT_EQ(0, cgi_scan("wlan1", list, sizeof list, record_wait));
    EXPECT_EQ("cgi_get_scan 1111111111111111111 \n", testing::internal::GetCapturedStdout());
    scenario(WPA2_HOME);
    EXPECT_EQ(0, cgi_scan("wlan1", list, sizeof list, record_wait));
    EXPECT_EQ(0, strncmp(list, "<APList><AP name=\"Home\"", 23));
}

}  // namespace
