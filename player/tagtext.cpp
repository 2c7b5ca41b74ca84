#include "tagtext.h"

#include <cstring>

bool tag_find_value(const char* doc, size_t len, const char* tag, size_t* value_off,
                    size_t* value_len) {
    size_t tlen = strlen(tag);
    if (tlen == 0 || tlen > len) return false;
    for (size_t i = 0; i + tlen <= len; ++i) {
        if (memcmp(doc + i, tag, tlen) != 0) continue;
        size_t start = i + tlen;
        size_t end = start;
        while (end < len && doc[end] != '<') ++end;
        *value_off = start;
        *value_len = end - start;
        return true;
    }
    return false;
}

size_t tag_value_cut(const char* value) {
    const char* lt = strchr(value, '<');
    return lt ? (size_t)(lt - value) : strlen(value);
}

long tag_replace_value(const char* doc, size_t len, const char* tag, const char* value,
                       size_t value_len, char* out, size_t n) {
    if (n > 0) out[0] = '\0';
    size_t off = 0, old_len = 0;
    if (!tag_find_value(doc, len, tag, &off, &old_len)) return -1;
    size_t tail = off + old_len;
    size_t total = off + value_len + (len - tail);
    if (total >= n) return -2;
    memcpy(out, doc, off);
    memcpy(out + off, value, value_len);
    memcpy(out + off + value_len, doc + tail, len - tail);
    out[total] = '\0';
    return (long)total;
}
