#include "name_escape.h"

#include <cstdio>
#include <cstring>

size_t escape_name(const char* name, size_t len, char* out, size_t out_size) {
    size_t w = 0;
    for (size_t i = 0; i < len; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        char form[8];
        const char* piece = form;
        size_t n = 1;
        switch (c) {
        case '&':
            piece = "&amp;";
            n = 5;
            break;
        case '"':
            piece = "&quot;";
            n = 6;
            break;
        case '<':
            piece = "&lt;";
            n = 4;
            break;
        case '>':
            piece = "&gt;";
            n = 4;
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                snprintf(form, sizeof form, "&#x%02X;", c);
                n = 6;
            } else {
                form[0] = static_cast<char>(c);
            }
        }
        if (w + n >= out_size) break;
        memcpy(out + w, piece, n);
        w += n;
    }
    out[w] = '\0';
    return w;
}
