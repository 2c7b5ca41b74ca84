#include "ap_reader.h"

#include "bounded.h"

#include <cstring>

namespace {

const char* find_bytes(const char* hay, size_t hay_len, const char* needle) {
    size_t n = strlen(needle);
    if (n > hay_len) return nullptr;
    for (size_t i = 0; i + n <= hay_len; i++)
        if (hay[i] == needle[0] && memcmp(hay + i, needle, n) == 0) return hay + i;
    return nullptr;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Copies value into dst of size n, at most n - 1 characters; true when the
// copy filled that bound, which the daemon has always reported as a cut.
bool copy_cut(char* dst, size_t n, const char* value, size_t len) {
    return copy_bounded_n(dst, n, value, len) >= n - 1;
}

struct Attr {
    const char* value = nullptr;
    size_t len = 0;
};

}  // namespace

long decode_ap_name(const char* v, size_t len, char* out, size_t n) {
    static const struct {
        const char* text;
        char c;
    } named[] = {{"&amp;", '&'}, {"&quot;", '"'}, {"&lt;", '<'}, {"&gt;", '>'}};
    size_t o = 0;
    for (size_t i = 0; i < len;) {
        char c = v[i];
        size_t used = 1;
        if (c == '&') {
            used = 0;
            for (const auto& e : named) {
                size_t el = strlen(e.text);
                if (len - i >= el && memcmp(v + i, e.text, el) == 0) {
                    c = e.c;
                    used = el;
                    break;
                }
            }
            if (!used && len - i >= 6 && v[i + 1] == '#' && v[i + 2] == 'x' && v[i + 5] == ';' &&
                hex_digit(v[i + 3]) >= 0 && hex_digit(v[i + 4]) >= 0) {
                c = (char)(hex_digit(v[i + 3]) * 16 + hex_digit(v[i + 4]));
                used = 6;
            }
            if (!used) return -1;
        }
        if (o + 1 >= n) return -1;
        out[o++] = c;
        i += used;
    }
    out[o] = '\0';
    return (long)o;
}

ApRead read_ap_entry(const char* list, size_t len, size_t* cursor, ApEntry* e) {
    memset(e, 0, sizeof *e);
    if (*cursor >= len) return ApRead::NoEntry;
    const char* start = find_bytes(list + *cursor, len - *cursor, "<AP ");
    if (!start) {
        *cursor = len;
        return ApRead::NoEntry;
    }
    const char* body = start + 4;
    const char* end = find_bytes(body, (size_t)(list + len - body), "></AP>");
    const char* stop = end ? end : list + len;
    *cursor = end ? (size_t)(end + 6 - list) : len;

    // Attributes in order: key="value" followed by a blank. Values carry no
    // raw quote, so the first quote closes each one.
    Attr name, channel, encrypt, tkip;
    const char* p = body;
    while (p < stop) {
        while (p < stop && *p == ' ') p++;
        const char* eq = (const char*)memchr(p, '=', (size_t)(stop - p));
        if (!eq || eq + 1 >= stop || eq[1] != '"') break;
        const char* v = eq + 2;
        const char* q = (const char*)memchr(v, '"', (size_t)(stop - v));
        if (!q) break;
        size_t klen = (size_t)(eq - p);
        Attr a{v, (size_t)(q - v)};
        if (klen == 4 && memcmp(p, "name", 4) == 0)
            name = a;
        else if (klen == 7 && memcmp(p, "channel", 7) == 0)
            channel = a;
        else if (klen == 7 && memcmp(p, "encrypt", 7) == 0)
            encrypt = a;
        else if (klen == 8 && memcmp(p, "tkip_aes", 8) == 0)
            tkip = a;
        p = q + 1;
    }

    if (name.value) {
        e->name_bad = decode_ap_name(name.value, name.len, e->name, sizeof e->name) < 0;
        if (e->name_bad) e->name[0] = '\0';
    } else {
        e->name_bad = true;
    }
    if (!channel.value) return ApRead::NoChannel;
    e->channel_cut = copy_cut(e->channel, sizeof e->channel, channel.value, channel.len);
    if (!encrypt.value) return ApRead::NoEncrypt;
    e->encrypt_cut = copy_cut(e->encrypt, sizeof e->encrypt, encrypt.value, encrypt.len);
    if (!tkip.value) return ApRead::NoTkipAes;
    e->tkip_aes_cut = copy_cut(e->tkip_aes, sizeof e->tkip_aes, tkip.value, tkip.len);
    return ApRead::Found;
}
