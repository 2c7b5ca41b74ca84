#include "fw_html.h"

#include <cstring>

namespace {

const char* entity(char c) {
    switch (c) {
    case '&':
        return "&amp;";
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '"':
        return "&quot;";
    case '\'':
        return "&#39;";
    default:
        return nullptr;
    }
}

}  // namespace

size_t html_escape(const char* text, char* out, size_t n) {
    size_t len = 0;
    for (const char* p = text; *p; ++p) {
        const char* e = entity(*p);
        size_t k = e ? strlen(e) : 1;
        if (k >= n - len) break;
        memcpy(out + len, e ? e : p, k);
        len += k;
    }
    out[len] = '\0';
    return len;
}
