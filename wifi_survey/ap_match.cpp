#include "ap_match.h"

#include "ap_reader.h"
#include "bounded.h"

#include <cstdio>
#include <cstring>

namespace {

struct Word {
    const char* listed;
    const char* uci;
};

const Word SECURITY_WORDS[] = {
    {"NONE", "none"},
    {"WEP", "wep"},
    {"WPA-PSK", "psk"},
    {"WPA2-PSK", "psk2"},
    {"WPA/WPA2-PSK", "mixed-psk"},
};
const Word CIPHER_WORDS[] = {{"tkip", "tkip"}, {"aes", "ccmp"}, {"tkip/aes", "tkip+ccmp"}};

template <size_t N>
const char* map_word(const Word (&table)[N], const char* text) {
    for (const Word& w : table)
        if (strcmp(w.listed, text) == 0) return w.uci;
    return "";
}

// A channel the radio can be moved to: decimal 1 to 14, no sign, no leading
// zero. The survey writes whatever the driver's frequency converts to, and a
// cell outside the driver's range list (5 GHz, or channel 14 where the list
// stops at 13) comes out as a negative number. An empty text sets no channel
// at all (the access point picks its own), so it still serves.
bool radio_channel(const char* text) {
    if (text[0] == '\0') return true;
    if (text[0] < '1' || text[0] > '9') return false;
    if (text[1] == '\0') return true;
    return text[0] == '1' && text[1] >= '0' && text[1] <= '4' && text[2] == '\0';
}

}  // namespace

const char* map_security(const char* encrypt) { return map_word(SECURITY_WORDS, encrypt); }
const char* map_cipher(const char* tkip_aes) { return map_word(CIPHER_WORDS, tkip_aes); }

void expected_encryption(const char* encrypt, const char* tkip_aes, char* out, size_t n) {
    const char* sec = map_security(encrypt);
    if (strcmp(sec, "none") == 0 || strcmp(sec, "wep") == 0)
        snprintf(out, n, "%s", sec);
    else
        snprintf(out, n, "%s+%s", sec, map_cipher(tkip_aes));
}

int match_ap_list(const char* list, size_t len, OptionReader read_option, ClientConfig* cfg,
                  char* channel, size_t channel_size) {
    size_t cursor = 0;
    for (;;) {
        ApEntry e;
        switch (read_ap_entry(list, len, &cursor, &e)) {
        case ApRead::NoEntry:
            printf("read ssid error xxxxx\n");
            return 0;
        case ApRead::NoChannel:
            printf("read channel error xxxxx\n");
            return 0;
        case ApRead::NoEncrypt:
            printf("read encrypt error xxxxx\n");
            return 0;
        case ApRead::NoTkipAes:
            printf("read tkip_aes error xxxxx\n");
            return 0;
        case ApRead::Found:
            break;
        }
        if (e.name_bad) printf("ssid read error\n");
        if (e.channel_cut) printf("channel read error\n");
        if (e.encrypt_cut) printf("encrypt read error\n");
        if (e.tkip_aes_cut) printf("tkip_aes read error\n");

        char expected[64];
        expected_encryption(e.encrypt, e.tkip_aes, expected, sizeof expected);

        memset(cfg->ssid, 0, sizeof cfg->ssid);
        read_option(OPT_CLIENT_SSID, cfg->ssid, sizeof cfg->ssid);
        printf("ssidkkp=%s\n", cfg->ssid);
        // A name that could not be read whole never matches: a cut name is
        // another network's name.
        if (e.name_bad || strcmp(cfg->ssid, e.name) != 0) continue;

        memset(cfg->encryption, 0, sizeof cfg->encryption);
        read_option(OPT_CLIENT_ENCRYPTION, cfg->encryption, sizeof cfg->encryption);
        printf("encryptionkkp=%s\n", cfg->encryption);
        if (strcmp(cfg->encryption, expected) != 0) continue;
        // Committing such a channel would keep the box's own access point
        // down across reboots.
        if (!radio_channel(e.channel)) continue;

        copy_bounded(channel, channel_size, e.channel);
        return 1;
    }
}
