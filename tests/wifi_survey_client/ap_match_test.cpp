#include "ap_match.h"
#include "ap_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

namespace {

std::map<std::string, std::string> g_options;

int table_option(const char* path, char* buf, size_t n) {
    auto it = g_options.find(path);
    if (it == g_options.end() || it->second.size() >= n) return 1;
    strcpy(buf, it->second.c_str());
    return 0;
}

std::string entry(const std::string& name, const std::string& channel, const std::string& enc,
                  const std::string& cipher) {
    return "<AP name=\"" + name + "\" mac=\"001122AABBCC\" channel=\"" + channel +
           "\" rssi=\"-47\" encrypt=\"" + enc + "\" tkip_aes=\"" + cipher + "\" ></AP>";
}

// Runs the match with the configured name and security; returns the chosen
// channel, or "-" for no match.
std::string match(const std::string& list, const std::string& ssid, const std::string& enc) {
    g_options = {{OPT_CLIENT_SSID, ssid}, {OPT_CLIENT_ENCRYPTION, enc}};
    ClientConfig cfg{};
    char channel[5] = "";
    testing::internal::CaptureStdout();
    int r = match_ap_list(list.data(), list.size(), table_option, &cfg, channel, sizeof channel);
    testing::internal::GetCapturedStdout();
    return r ? channel : "-";
}

TEST(ApMatch, ExpectedEncryptionFromTheListedTexts) {
    char out[64];
    struct {
        const char *enc, *cipher, *want;
    } cases[] = {
        {"WPA2-PSK", "aes", "psk2+ccmp"},
        {"WPA/WPA2-PSK", "tkip/aes", "mixed-psk+tkip+ccmp"},
        {"WPA-PSK", "tkip", "psk+tkip"},
        {"NONE", "", "none"},
        {"WEP", "", "wep"},
        {"WPA2-1X", "aes", "+ccmp"},
    };
    for (const auto& c : cases) {
        expected_encryption(c.enc, c.cipher, out, sizeof out);
        EXPECT_STREQ(out, c.want) << c.enc << " " << c.cipher;
    }
}

TEST(ApMatch, FirstEntryWithNameAndExactSecurityWins) {
    std::string list = "<APList>" + entry("Other", "1", "WPA2-PSK", "aes") +
                       entry("Home", "3", "WPA/WPA2-PSK", "tkip/aes") +
                       entry("Home", "11", "WPA2-PSK", "aes") +
                       entry("Home", "6", "WPA2-PSK", "aes") + "</APList>";
    EXPECT_EQ(match(list, "Home", "psk2+ccmp"), "11");
    EXPECT_EQ(match(list, "Home", "mixed-psk+tkip+ccmp"), "3");
    EXPECT_EQ(match(list, "Home", "psk+tkip"), "-");
    EXPECT_EQ(match(list, "home", "psk2+ccmp"), "-");
    EXPECT_EQ(match(list, "", "psk2+ccmp"), "-");
}

TEST(ApMatch, NamesAreDecodedAndComparedWhole) {
    // What the survey writes for a name holding every escaped kind of byte.
    std::string list =
        "<APList>" + entry("a&amp;b&quot;c&lt;d&gt;e&#x0A;f&#x7F;", "4", "NONE", "") + "</APList>";
    EXPECT_EQ(match(list, "a&b\"c<d>e\nf\x7f", "none"), "4");

    // 32 bytes written as 192 characters still fit; 33 bytes do not, and a
    // configured name equal to the first 32 bytes does not match it.
    std::string esc32, esc33;
    for (int i = 0; i < 32; i++) esc32 += "&#x01;";
    esc33 = esc32 + "&#x01;";
    list = "<APList>" + entry(esc33, "1", "NONE", "") + entry(esc32, "2", "NONE", "") + "</APList>";
    EXPECT_EQ(match(list, std::string(32, '\x01'), "none"), "2");
    list = "<APList>" + entry(std::string(33, 'A'), "1", "NONE", "") + "</APList>";
    EXPECT_EQ(match(list, std::string(33, 'A'), "none"), "-");
    EXPECT_EQ(match(list, std::string(32, 'A'), "none"), "-");

    char out[40];
    EXPECT_EQ(decode_ap_name("x&y;", 4, out, sizeof out), -1);
    EXPECT_EQ(decode_ap_name("&#xZZ;", 6, out, sizeof out), -1);
    EXPECT_EQ(decode_ap_name("&#x41", 5, out, sizeof out), -1);
}

TEST(ApMatch, AttributeTextInANameNeitherHidesNorMovesTheNetwork) {
    // A neighbour's name that carries attribute text, as the survey escapes it.
    std::string spoof =
        "Home&quot; channel=&quot;13&quot; encrypt=&quot;WPA2-PSK&quot; tkip_aes=&quot;aes";
    std::string list = "<APList>" + entry(spoof, "1", "NONE", "") +
                       entry("Home", "6", "WPA2-PSK", "aes") + "</APList>";
    EXPECT_EQ(match(list, "Home", "psk2+ccmp"), "6");
    // A name longer than a network name can be matches nothing; a short one
    // with quotes is an ordinary name.
    EXPECT_EQ(match(list, "Home\" channel=\"13\" encrypt=\"WPA2-PSK\" tkip_aes=\"aes", "none"),
              "-");
    list = "<APList>" + entry("H&quot; channel=&quot;13", "1", "NONE", "") + "</APList>";
    EXPECT_EQ(match(list, "H\" channel=\"13", "none"), "1");

    // A name that looks like the end of an entry.
    list = "<APList>" + entry("x&gt;&lt;/AP&gt;&lt;AP name=&quot;Home", "2", "NONE", "") +
           entry("Home", "9", "NONE", "") + "</APList>";
    EXPECT_EQ(match(list, "Home", "none"), "9");
}

TEST(ApMatch, UnreadableEntriesEndTheSearch) {
    g_options = {{OPT_CLIENT_SSID, "Home"}, {OPT_CLIENT_ENCRYPTION, "none"}};
    ClientConfig cfg{};
    char channel[5];
    std::string list =
        "<APList><AP name=\"Home\" mac=\"00\" rssi=\"1\" encrypt=\"NONE\" tkip_aes=\"\" ></AP>"
        "<AP name=\"Home\" channel=\"5\" encrypt=\"NONE\" tkip_aes=\"\" ></AP></APList>";
    testing::internal::CaptureStdout();
    EXPECT_EQ(match_ap_list(list.data(), list.size(), table_option, &cfg, channel, sizeof channel),
              0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "read channel error xxxxx\n");

    // A cut channel is noticed; what is left of it is no channel a radio has.
    list = "<APList>" + entry("Home", "123456", "NONE", "") + "</APList>";
    testing::internal::CaptureStdout();
    EXPECT_EQ(match_ap_list(list.data(), list.size(), table_option, &cfg, channel, sizeof channel),
              0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "channel read error\nssidkkp=Home\nencryptionkkp=none\nread ssid error xxxxx\n");

    // The notice comes as soon as a value fills its bound, not only past it.
    list = "<APList>" + entry("Home", "1234", "NONE", "") +
           entry("Home", "7", std::string(33, 'E'), "") + "</APList>";
    testing::internal::CaptureStdout();
    EXPECT_EQ(match_ap_list(list.data(), list.size(), table_option, &cfg, channel, sizeof channel),
              0);
    EXPECT_EQ(
        testing::internal::GetCapturedStdout(),
        "channel read error\nssidkkp=Home\nencryptionkkp=none\nencrypt read error\nssidkkp=Home\n"
        "encryptionkkp=none\nread ssid error xxxxx\n");
    g_options[OPT_CLIENT_ENCRYPTION] = "+";
    testing::internal::CaptureStdout();
    EXPECT_EQ(match_ap_list(list.data(), list.size(), table_option, &cfg, channel, sizeof channel),
              1);
    EXPECT_EQ(
        testing::internal::GetCapturedStdout(),
        "channel read error\nssidkkp=Home\nencryptionkkp=+\nencrypt read error\nssidkkp=Home\n"
        "encryptionkkp=+\n");
    EXPECT_STREQ(channel, "7");
    g_options[OPT_CLIENT_ENCRYPTION] = "none";

    testing::internal::CaptureStdout();
    EXPECT_EQ(match_ap_list("<APList></APList>", 17, table_option, &cfg, channel, sizeof channel),
              0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "read ssid error xxxxx\n");
}

TEST(ApMatch, AChannelNoRadioHasMatchesNothing) {
    // The survey lists a cell outside the driver's channel list (2484 MHz
    // where the list stops at 13, or 5 GHz) as channel -2.
    for (const char* bad : {"-2", "0", "15", "99", "06", "+6", "1a", "6 ", "-1"}) {
        std::string list = "<APList>" + entry("Home", bad, "WPA2-PSK", "aes") + "</APList>";
        g_options = {{OPT_CLIENT_SSID, "Home"}, {OPT_CLIENT_ENCRYPTION, "psk2+ccmp"}};
        ClientConfig cfg{};
        char channel[5] = "x";
        testing::internal::CaptureStdout();
        EXPECT_EQ(
            match_ap_list(list.data(), list.size(), table_option, &cfg, channel, sizeof channel), 0)
            << bad;
        // Nothing new is printed for it: the search just goes on.
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "ssidkkp=Home\nencryptionkkp=psk2+ccmp\nread ssid error xxxxx\n")
            << bad;
        EXPECT_STREQ(channel, "x") << bad;
    }
    for (const char* good : {"1", "9", "10", "13", "14", ""}) {
        std::string list = "<APList>" + entry("Home", good, "WPA2-PSK", "aes") + "</APList>";
        EXPECT_EQ(match(list, "Home", "psk2+ccmp"), good);
    }
    // The next entry of the same network on a usable channel wins.
    std::string list = "<APList>" + entry("Home", "-2", "WPA2-PSK", "aes") +
                       entry("Home", "36", "WPA2-PSK", "aes") +
                       entry("Home", "11", "WPA2-PSK", "aes") + "</APList>";
    EXPECT_EQ(match(list, "Home", "psk2+ccmp"), "11");
}

}  // namespace
