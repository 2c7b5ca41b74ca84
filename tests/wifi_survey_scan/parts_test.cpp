// The scan core's pure parts: the element parse, the security and cipher
// texts, the name escaping and the bounded list.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ap_list.h"
#include "elements.h"
#include "name_escape.h"
#include "security_text.h"

namespace {

std::vector<unsigned char> hex(const std::string& h) {
    std::vector<unsigned char> out;
    for (size_t i = 0; i + 1 < h.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::stoul(h.substr(i, 2), nullptr, 16)));
    return out;
}

struct Parsed {
    std::string security;
    std::string cipher;
    unsigned bits;
};

// Elements parsed from an exactly sized heap copy, so that ASan sees any read
// past them; the texts as an encrypted cell shows them.
Parsed parse(const std::string& h) {
    std::vector<unsigned char> v = hex(h);
    unsigned sec = 0, cip = 0;
    parse_elements(v.data(), v.size(), &sec, &cip);
    return {security_text(true, sec), cipher_text(cip), sec};
}

const std::string RSN_CCMP_PSK = "30140100000fac040100000fac040100000fac020c00";
const std::string WPA_TKIP_CCMP_PSK =
    "dd1a0050f20101000050f20202000050f2020050f2040100"
    "0050f202";
const std::string RSN_TKIP_CCMP_PSK = "30180100000fac020200000fac02000fac040100000fac020000";
const std::string RSN_TKIP_CCMP_1X = "30180100000fac020200000fac02000fac040100000fac010000";

TEST(Elements, SecurityAndCipherOfCommonNetworks) {
    Parsed p = parse(RSN_CCMP_PSK);
    EXPECT_EQ("WPA2-PSK", p.security);
    EXPECT_EQ("aes", p.cipher);
    p = parse("dd160050f20101000050f20201000050f20201000050f202");
    EXPECT_EQ("WPA-PSK", p.security);
    EXPECT_EQ("tkip", p.cipher);
    // Other elements around them (SSID, rates, a WMM vendor element) count for nothing.
    p = parse(
        "0004486f6d65"
        "010482848b96"
        "dd180050f2020101000003a4000027a4000042435e0062322f00" +
        WPA_TKIP_CCMP_PSK + RSN_TKIP_CCMP_PSK);
    EXPECT_EQ("WPA/WPA2-PSK", p.security);
    EXPECT_EQ("tkip/aes", p.cipher);
    p = parse(WPA_TKIP_CCMP_PSK + RSN_TKIP_CCMP_1X);
    EXPECT_EQ("WPA/WPA2-1X", p.security);
    EXPECT_EQ("WPA2-1X", parse(RSN_TKIP_CCMP_1X).security);
}

TEST(Elements, ShortAndForeignElements) {
    // An RSN element that stops after its group cipher: TKIP by default.
    Parsed p = parse("30060100000fac04");
    EXPECT_EQ("WPA2-PSK", p.security);
    EXPECT_EQ("tkip", p.cipher);
    // Too short to be RSN at all.
    EXPECT_EQ(0u, parse("30010100").bits);
    // A vendor element of another organisation or type is no WPA element.
    EXPECT_EQ(0u, parse("dd160050f20201000050f20201000050f20201000050f202").bits);
    EXPECT_EQ(0u, parse("dd1600904c0101000050f20201000050f20201000050f202").bits);
    // Suites of a foreign organisation set no cipher.
    p = parse("30140100000fac040100001122040100001122010000");
    EXPECT_EQ("", p.cipher);
    EXPECT_EQ("WPA2-PSK", p.security);
}

TEST(Elements, LengthsThatLie) {
    // Three pairwise suites announced, room for one: no pairwise list is read.
    Parsed p = parse("300e0100000fac040300000fac04ffff");
    EXPECT_EQ("", p.cipher);
    // The last element claims 255 bytes and announces two suites, one is
    // there: what follows the data must not be taken for the second.
    p = parse(
        "0004486f6d65"
        "30ff0100000fac040200000fac04");
    EXPECT_EQ(SEC_RSN, p.bits);
    EXPECT_EQ("", p.cipher);
    // The same element with its one suite all there still counts.
    EXPECT_EQ("aes", parse("0004486f6d65"
                           "30ff0100000fac040100000fac04")
                         .cipher);
    // A lone id byte, or nothing, reads nothing.
    EXPECT_EQ(0u, parse("30").bits);
    EXPECT_EQ(0u, parse("").bits);
}

TEST(Texts, EveryRowOfTheTables) {
    EXPECT_STREQ("NONE", security_text(false, SEC_RSN | SEC_WPA | SEC_8021X));
    EXPECT_STREQ("WEP", security_text(true, 0));
    EXPECT_STREQ("WPA/WPA2-1X", security_text(true, SEC_RSN | SEC_WPA | SEC_8021X));
    EXPECT_STREQ("WPA-1X", security_text(true, SEC_WPA | SEC_8021X));
    EXPECT_STREQ("WPA2-1X", security_text(true, SEC_RSN | SEC_8021X));
    EXPECT_STREQ("WPA/WPA2-PSK", security_text(true, SEC_RSN | SEC_WPA));
    EXPECT_STREQ("WPA-PSK", security_text(true, SEC_WPA));
    EXPECT_STREQ("WPA2-PSK", security_text(true, SEC_RSN));
    EXPECT_STREQ("tkip/aes", cipher_text(CIPHER_TKIP | CIPHER_CCMP | CIPHER_WEP40));
    EXPECT_STREQ("aes", cipher_text(CIPHER_CCMP | CIPHER_WEP104));
    EXPECT_STREQ("tkip", cipher_text(CIPHER_TKIP));
    EXPECT_STREQ("tkip", cipher_text(CIPHER_TYPE3));
    EXPECT_STREQ("", cipher_text(0));
}

std::string escaped(const std::string& name, size_t out_size = 1024) {
    std::vector<char> out(out_size, 'X');
    size_t n = escape_name(name.data(), name.size(), out.data(), out.size());
    EXPECT_EQ(n, strlen(out.data()));
    return out.data();
}

TEST(NameEscape, MarkupAndControlBytesOnly) {
    EXPECT_EQ("Home 5G_caf\xC3\xA9 (2)'", escaped("Home 5G_caf\xC3\xA9 (2)'"));
    EXPECT_EQ("Home&quot; channel=&quot;13&quot; encrypt=&quot;WPA2-PSK&quot; tkip_aes=&quot;aes",
              escaped("Home\" channel=\"13\" encrypt=\"WPA2-PSK\" tkip_aes=\"aes"));
    EXPECT_EQ("&lt;a&gt;&amp;b", escaped("<a>&b"));
    EXPECT_EQ("&#x01;&#x1F;&#x7F;\x80\xFF ", escaped(std::string("\x01\x1F\x7F\x80\xFF ", 6)));
    // Cut at a whole escape, never inside one.
    EXPECT_EQ("ab", escaped("ab&c", 7));
    EXPECT_EQ("ab&amp;", escaped("ab&c", 8));
}

TEST(ApListText, StopsAtTheLastWholeEntryAndCloses) {
    const size_t size = 40;
    char buf[size + 8];
    memset(buf, '#', sizeof buf);
    ApList list(buf, size);
    list.begin();
    EXPECT_TRUE(list.append("<AP a></AP>", 11));
    EXPECT_TRUE(list.append("<AP b></AP>", 11));
    EXPECT_FALSE(list.append("<AP c></AP>", 11));  // 8 + 33 + 9 + 1 > 40
    EXPECT_FALSE(list.append("<>", 2));            // nothing after the first that failed
    list.close();
    EXPECT_STREQ("<APList><AP a></AP><AP b></AP></APList>", buf);
    EXPECT_EQ(std::string(8, '#'), std::string(buf + size, 8));

    char tiny[17];
    ApList none(tiny, sizeof tiny);
    memset(tiny, '#', sizeof tiny);
    none.begin();
    none.close();
    EXPECT_EQ(std::string(17, '#'), std::string(tiny, 17));
}

}  // namespace
