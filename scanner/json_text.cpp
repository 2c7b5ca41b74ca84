#include "json_text.h"

#include <cstring>

namespace {

// The short form where JSON has one, else \u00XX; 0 for a byte kept as is.
char short_escape(unsigned char c) {
    switch (c) {
    case '"':
        return '"';
    case '\\':
        return '\\';
    case '\b':
        return 'b';
    case '\f':
        return 'f';
    case '\n':
        return 'n';
    case '\r':
        return 'r';
    case '\t':
        return 't';
    default:
        return 0;
    }
}

bool needs_escape(unsigned char c) { return c < 0x20 || c == '"' || c == '\\'; }

// Bytes kept as they are from s on: names are almost all such bytes, so
// they are copied in runs rather than one by one.
size_t plain_run(const char* s) {
    const char* p = s;
    while (*p && !needs_escape((unsigned char)*p)) p++;
    return (size_t)(p - s);
}

// The escape of c (not kept as is) in e; returns its length (2 or 6).
size_t escape_of(unsigned char c, char e[8]) {
    e[0] = '\\';
    if (char x = short_escape(c)) {
        e[1] = x;
        return 2;
    }
    static const char hex[] = "0123456789abcdef";
    memcpy(e + 1, "u00", 3);
    e[4] = hex[c >> 4];
    e[5] = hex[c & 15];
    return 6;
}

}  // namespace

size_t json_escaped_len(const char* s) {
    size_t n = 0;
    for (;;) {
        size_t run = plain_run(s);
        n += run;
        s += run;
        if (!*s) return n;
        n += short_escape((unsigned char)*s) ? 2 : 6;
        s++;
    }
}

size_t json_escape(const char* s, char* out, size_t cap) {
    size_t n = 0;
    bool fits = cap > 0;
    for (;;) {
        size_t run = plain_run(s);
        if (fits && n + run < cap)
            memcpy(out + n, s, run);
        else
            fits = false;
        n += run;
        s += run;
        if (!*s) break;
        char e[8];
        size_t k = escape_of((unsigned char)*s++, e);
        if (fits && n + k < cap)
            memcpy(out + n, e, k);
        else
            fits = false;
        n += k;
    }
    if (fits)
        out[n] = '\0';
    else if (cap > 0)
        out[0] = '\0';
    return n;
}

bool json_escape_put(FILE* f, const char* s) {
    for (;;) {
        size_t run = plain_run(s);
        if (run && fwrite(s, 1, run, f) != run) return false;
        s += run;
        if (!*s) return true;
        char e[8];
        size_t k = escape_of((unsigned char)*s++, e);
        if (fwrite(e, 1, k, f) != k) return false;
    }
}
