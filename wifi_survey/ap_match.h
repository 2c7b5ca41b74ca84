// Finding the configured network in the AP list: same name, exactly the
// configured security.
#pragma once

#include <cstddef>

// Reads one UCI option into buf (size n): 0 when read, 1 otherwise, buf then
// untouched. The daemon passes get_uci_option; tests a table.
typedef int (*OptionReader)(const char* path, char* buf, size_t n);

constexpr const char* OPT_CLIENT_SSID = "wireless.@wifi-iface[1].ssid";
constexpr const char* OPT_CLIENT_ENCRYPTION = "wireless.@wifi-iface[1].encryption";

// UCI's words for a listed security and cipher text; empty for the rest.
const char* map_security(const char* encrypt);
const char* map_cipher(const char* tkip_aes);

// The encryption UCI would hold for a listed network: "none" and "wep" alone,
// otherwise "<security>+<cipher>". out is 64 bytes.
void expected_encryption(const char* encrypt, const char* tkip_aes, char* out, size_t n);

// The configured client network, as last read (64-byte buffers).
struct ClientConfig {
    char ssid[64];
    char encryption[64];
};

// Walks list (len bytes) entry by entry, printing the progress lines and
// reading the configured name (and, for a name match, the security) anew
// for each entry into cfg. An entry whose channel is neither empty nor 1
// to 14 matches nothing. Returns 1 with the first matching entry's channel text in channel
// (5 bytes), or 0 when none matches or the list cannot be read.
int match_ap_list(const char* list, size_t len, OptionReader read_option, ClientConfig* cfg,
                  char* channel, size_t channel_size);
