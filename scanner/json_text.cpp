#include "json_text.h"

#include <cstdio>

namespace {

// The short form where JSON has one, else \u00XX; 0 for a byte kept as is.
char short_escape(unsigned char c) {
    switch (c) {
    case '"': return '"';
    case '\\': return '\\';
    case '\b': return 'b';
    case '\f': return 'f';
    case '\n': return 'n';
    case '\r': return 'r';
    case '\t': return 't';
    default: return 0;
    }
}

}  // namespace

void json_escape_append(std::string& out, const char* s) {
    for (; *s; s++) {
        unsigned char c = (unsigned char)*s;
        char e = short_escape(c);
        if (e) {
            out += '\\';
            out += e;
        } else if (c < 0x20) {
            char u[8];
            snprintf(u, sizeof u, "\\u%04x", c);
            out += u;
        } else {
            out += (char)c;
        }
    }
}

size_t json_escaped_len(const char* s) {
    size_t n = 0;
    for (; *s; s++) {
        unsigned char c = (unsigned char)*s;
        n += short_escape(c) ? 2 : c < 0x20 ? 6 : 1;
    }
    return n;
}
