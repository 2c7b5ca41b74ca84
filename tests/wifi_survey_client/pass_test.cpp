#include "client_loop.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

// A box made of tables: what the commands, the scan and UCI would give.
struct FakeBox {
    std::vector<std::string> journal;
    std::map<std::string, std::string> options;
    std::string scan_result;  // what every scan lists ("" for an empty scan)
    int scans = 0;
    bool link_up = false;
    bool wpa = false;
    bool dhcp_wlan1 = false;
    // Access point daemons on the radio, and a "wifi up" of the Wi-Fi
    // watchdog that starts one when none runs, landing in the pause or file
    // edit numbered wifi_up_at (-1: never).
    int hostapds = 0;
    int most_hostapds = 0;
    int wifi_up_at = -1;
    int moments = 0;
    // late: that "wifi up" looked before the reconnect began, so its daemon
    // arrives whatever runs by then, at any command or pause.
    bool late = false;
} g;

void another_may_start() {
    if (g.moments++ == g.wifi_up_at && (g.late || g.hostapds == 0)) g.hostapds++;
    if (g.hostapds > g.most_hostapds) g.most_hostapds = g.hostapds;
}

int fake_run(const char* cmd) {
    g.journal.push_back(cmd);
    std::string c = cmd;
    if (c.rfind("killall -9 hostapd", 0) == 0) g.hostapds = 0;
    if (c.rfind("hostapd ", 0) == 0) g.hostapds++;
    if (g.hostapds > g.most_hostapds) g.most_hostapds = g.hostapds;
    if (g.late || c.rfind("sed ", 0) == 0 || c == "sync") another_may_start();
    return 0;
}
void fake_sleep(unsigned s) {
    g.journal.push_back("sleep " + std::to_string(s));
    another_may_start();
}
int fake_scan(char* list, size_t size) {
    g.scans++;
    snprintf(list, size, "%s", g.scan_result.c_str());
    return 0;
}
int fake_read(const char* path, char* buf, size_t n) {
    auto it = g.options.find(path);
    if (it == g.options.end()) return 1;
    snprintf(buf, n, "%s", it->second.c_str());
    return 0;
}
int fake_set(char* assignment) {
    g.journal.push_back(std::string("set ") + assignment);
    return 0;
}
bool fake_link() { return g.link_up; }
bool fake_wpa() { return g.wpa; }
bool fake_find(const char* name) { return strcmp(name, "dhcp-wlan1") == 0 && g.dhcp_wlan1; }
int fake_hostapd_count() { return g.hostapds; }

const SurveyIo IO = {fake_run,  fake_sleep, fake_scan, fake_read,          fake_set,
                     fake_link, fake_wpa,   fake_find, fake_hostapd_count, nullptr};

std::string listed(const char* name, const char* channel) {
    return std::string("<APList><AP name=\"") + name + "\" mac=\"001122AABBCC\" channel=\"" +
           channel + "\" rssi=\"-40\" encrypt=\"WPA2-PSK\" tkip_aes=\"aes\" ></AP></APList>";
}

void pass(SurveyState& st) {
    g.journal.clear();
    g.scans = 0;
    testing::internal::CaptureStdout();
    survey_pass(st, IO);
    testing::internal::GetCapturedStdout();
}

bool journal_has(const std::string& line) {
    for (const auto& l : g.journal)
        if (l == line) return true;
    return false;
}

TEST(SurveyPass, ReconnectsThreeTimesThenGivesUpForGood) {
    g = FakeBox();
    g.options = {{OPT_CLIENT_SSID, "Home"}, {OPT_CLIENT_ENCRYPTION, "psk2+ccmp"}};
    g.scan_result = listed("Home", "11");
    g.dhcp_wlan1 = true;
    SurveyState st;

    pass(st);
    std::vector<std::string> want = {
        "/usr/mips/cgi-bin/script/ClientStatus.sh",
        "rm -f /tmp/client_is_connected",
        "sleep 1",
        "set wireless.radio0.channel=11",
        "set wireless.radio0.htmode=HT40-",
        "uci commit",
        "killall -9 hostapd ",
        "sleep 1",
        "killall -9 wpa_supplicant >/dev/null 2>&1",
        "sleep 1",
        "sed -i \"s/channel=.*/channel=11/\" /tmp/run/hostapd-phy0.conf",
        "sed -e 's/HT40+/HT40-/g' -i /var/run/hostapd-phy0.conf",
        "sync",
        "killall -9 hostapd",
        "hostapd -P /var/run/wifi-phy0.pid -B /var/run/hostapd-phy0.conf",
        "sleep 1",
        "ifconfig wlan1 up",
        "/lib/wifi/wpa_supplicant_satrt.sh start",
        "sleep 2",
        "kill -9 `ps|grep '[u]dhcpc'|grep wlan1|awk -F \" \" '{print $1}'`",
        "udhcpc -t 0 -i wlan1 -b -p /var/run/dhcp-wlan1.pid -O rootpath -R &",
    };
    EXPECT_EQ(g.journal, want);
    EXPECT_EQ(st.attempts, 1);

    pass(st);
    EXPECT_EQ(st.attempts, 2);
    pass(st);
    EXPECT_TRUE(st.given_up);
    EXPECT_EQ(st.attempts, 0);
    pass(st);
    EXPECT_EQ(g.scans, 0);
    EXPECT_EQ(g.journal.size(), 2u);
}

TEST(SurveyPass, ChannelDecidesTheSecondaryChannel) {
    g = FakeBox();
    g.options = {{OPT_CLIENT_SSID, "Home"}, {OPT_CLIENT_ENCRYPTION, "psk2+ccmp"}};
    for (auto c :
         {std::make_pair("7", "HT40+"), std::make_pair("8", "HT40-"), std::make_pair("1", "HT40+"),
          std::make_pair("14", "HT40-"), std::make_pair("", "HT40+")}) {
        SurveyState st;
        g.scan_result = listed("Home", c.first);
        pass(st);
        EXPECT_TRUE(journal_has(std::string("set wireless.radio0.htmode=") + c.second)) << c.first;
        // An empty channel sets none and leaves the access point to pick (0).
        EXPECT_EQ(journal_has(std::string("set wireless.radio0.channel=") + c.first),
                  c.first[0] != 0)
            << c.first;
        std::string n = c.first[0] ? c.first : "0";
        EXPECT_TRUE(
            journal_has("sed -i \"s/channel=.*/channel=" + n + "/\" /tmp/run/hostapd-phy0.conf"));
        // No DHCP client ran on wlan1, so none is killed.
        EXPECT_FALSE(
            journal_has("kill -9 `ps|grep '[u]dhcpc'|grep wlan1|awk -F \" \" '{print $1}'`"));
    }
}

TEST(SurveyPass, AChannelNoRadioHasIsNoMatch) {
    g = FakeBox();
    g.options = {{OPT_CLIENT_SSID, "Home"}, {OPT_CLIENT_ENCRYPTION, "psk2+ccmp"}};
    g.wpa = true;
    for (const char* bad : {"-2", "0", "36"}) {
        SurveyState st;
        st.attempts = 1;
        g.scan_result = listed("Home", bad);
        pass(st);
        // Treated as a network that is not there: nothing committed, nothing
        // written into the access point's file, the client daemon stopped.
        EXPECT_FALSE(journal_has("uci commit")) << bad;
        for (const auto& l : g.journal) {
            EXPECT_EQ(l.find("channel"), std::string::npos) << bad << ": " << l;
            EXPECT_EQ(l.find("hostapd"), std::string::npos) << bad << ": " << l;
        }
        EXPECT_TRUE(journal_has("killall -9 wpa_supplicant >/dev/null 2>&1")) << bad;
        EXPECT_EQ(st.attempts, 0) << bad;
    }
}

TEST(SurveyPass, LinkUpDisabledNoMatchAndEmptyScans) {
    g = FakeBox();
    g.options = {{OPT_CLIENT_SSID, "Home"}, {OPT_CLIENT_ENCRYPTION, "psk2+ccmp"}};
    g.scan_result = listed("Home", "6");
    SurveyState st;
    st.attempts = 2;
    g.link_up = true;
    pass(st);
    EXPECT_EQ(st.attempts, 0);
    EXPECT_EQ(g.scans, 0);

    g.link_up = false;
    g.wpa = true;
    g.options[OPT_CLIENT_SSID] = "Disabled";
    pass(st);
    EXPECT_EQ(g.scans, 0);
    EXPECT_TRUE(journal_has("killall -9 wpa_supplicant >/dev/null 2>&1"));

    // Same name, other security: no match, the client daemon is stopped.
    g.options[OPT_CLIENT_SSID] = "Home";
    g.options[OPT_CLIENT_ENCRYPTION] = "mixed-psk+tkip+ccmp";
    st.attempts = 1;
    pass(st);
    EXPECT_EQ(st.attempts, 0);
    EXPECT_TRUE(journal_has("killall -9 wpa_supplicant >/dev/null 2>&1"));
    EXPECT_FALSE(journal_has("uci commit"));

    // Ten empty scans: nothing else, the counter stays.
    g.scan_result = "";
    st.attempts = 2;
    pass(st);
    EXPECT_EQ(g.scans, 10);
    EXPECT_EQ(st.attempts, 2);
    EXPECT_FALSE(journal_has("killall -9 wpa_supplicant >/dev/null 2>&1"));
}

// Another access point daemon started while the radio is being moved (the
// Wi-Fi watchdog's "wifi up", seeing none) must not run beside the new one.
TEST(SurveyPass, OneAccessPointDaemonAfterTheReconnect) {
    for (int at = 0; at < 12; at++) {
        g = FakeBox();
        g.options = {{OPT_CLIENT_SSID, "Home"}, {OPT_CLIENT_ENCRYPTION, "psk2+ccmp"}};
        g.scan_result = listed("Home", "6");
        g.hostapds = 1;
        g.wifi_up_at = at;
        SurveyState st;
        pass(st);
        ASSERT_TRUE(journal_has("hostapd -P /var/run/wifi-phy0.pid -B /var/run/hostapd-phy0.conf"));
        EXPECT_EQ(g.hostapds, 1) << "wifi up in moment " << at;
        EXPECT_LE(g.most_hostapds, 1) << "wifi up in moment " << at;
    }
}

// A "wifi up" that began before the reconnect and brings its daemon at any
// point up to the reconnect's end: one daemon is left when the pass ends.
TEST(SurveyPass, ALateAccessPointDaemonIsGoneByTheEnd) {
    for (int at = 0; at < 18; at++) {
        g = FakeBox();
        g.options = {{OPT_CLIENT_SSID, "Home"}, {OPT_CLIENT_ENCRYPTION, "psk2+ccmp"}};
        g.scan_result = listed("Home", "6");
        g.hostapds = 0;  // it had died: that is why "wifi up" runs
        g.late = true;
        g.wifi_up_at = at;
        SurveyState st;
        pass(st);
        EXPECT_EQ(g.hostapds, 1) << "its daemon came at moment " << at;
    }
}

TEST(SurveyPass, AnUnreadableNameKeepsTheLastOne) {
    g = FakeBox();
    g.options = {{OPT_CLIENT_SSID, "Home"}, {OPT_CLIENT_ENCRYPTION, "psk2+ccmp"}};
    g.scan_result = "";
    SurveyState st;
    pass(st);
    EXPECT_STREQ(st.cfg.ssid, "Home");
    g.options.erase(OPT_CLIENT_SSID);
    g.options.erase(OPT_CLIENT_ENCRYPTION);
    pass(st);
    EXPECT_STREQ(st.cfg.ssid, "Home");
}

}  // namespace
