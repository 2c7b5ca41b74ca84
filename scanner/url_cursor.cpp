#include "url_cursor.h"

#include <cstring>

bool UrlCursor::next_is(const char* name_esc, size_t name_len) {
    static const char kKey[] = "{\"url\":\"";
    const size_t key_len = sizeof kKey - 1;
    if (pos_ >= len_) return false;
    const char* hit = (const char*)memmem(text_ + pos_, len_ - pos_, kKey, key_len);
    if (!hit) {
        pos_ = len_;
        return false;
    }
    size_t u = (size_t)(hit - text_) + key_len;
    pos_ = u;
    size_t end = u + mount_len_ + name_len;
    return end < len_ && memcmp(text_ + u, mount_, mount_len_) == 0 &&
           memcmp(text_ + u + mount_len_, name_esc, name_len) == 0 && text_[end] == '"';
}
