// Reading the AP list back: one entry at a time, its attributes taken in
// order from inside the entry, the name decoded from the list's escapes.
#pragma once

#include <cstddef>

// A network name is at most 32 bytes once decoded.
constexpr size_t AP_NAME_MAX = 32;

struct ApEntry {
    char name[AP_NAME_MAX + 1];
    bool name_bad;    // longer than 32 bytes once decoded, or badly escaped
    char channel[5];  // at most 4 characters
    bool channel_cut;
    char encrypt[34];  // at most 33 characters
    bool encrypt_cut;
    char tkip_aes[34];
    bool tkip_aes_cut;
};

enum class ApRead { Found, NoEntry, NoChannel, NoEncrypt, NoTkipAes };

// Finds the next "<AP " entry of list (len bytes) at or after *cursor and
// fills e from its own attributes only: a value never reaches past its
// closing quote, and an attribute is never looked for beyond the entry's
// "></AP>". On return *cursor is past the entry (also when an attribute is
// missing), so a caller can go on with the next one.
ApRead read_ap_entry(const char* list, size_t len, size_t* cursor, ApEntry* e);

// Decodes &amp; &quot; &lt; &gt; and &#xHH; of a name value (len bytes) into
// out (size n). Returns the decoded length, or -1 when it does not fit or an
// escape is malformed.
long decode_ap_name(const char* value, size_t len, char* out, size_t n);
