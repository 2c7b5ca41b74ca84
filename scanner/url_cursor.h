// The "url" strings of an old list, taken in order. The list was written in
// the order the directory yields its names, so on an unchanged disk each
// name is found at the next entry with one comparison; a name found there
// surely occurs in the text as "/name" followed by a quote, and only names
// not found there need the full search.
#pragma once

#include <cstddef>

class UrlCursor {
public:
    UrlCursor(const char* text, size_t len, const char* mount_esc, size_t mount_len)
        : text_(text), len_(len), mount_(mount_esc), mount_len_(mount_len) {}
    // True when the next entry's "url" is the mount directory followed by
    // name_esc, closed by a quote. Moves on to the entry after it either way.
    bool next_is(const char* name_esc, size_t name_len);

private:
    const char* text_;
    size_t len_;
    size_t pos_ = 0;
    const char* mount_;
    size_t mount_len_;
};
