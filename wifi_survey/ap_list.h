// The AP list text in a caller's buffer: "<APList>", whole entries, then
// "</APList>". An entry that would not leave room for the closing tag (and
// the terminator) is left out, and so is every entry after it: the list
// always ends with the last whole entry that fits and is always closed.
#pragma once

#include <cstddef>

class ApList {
public:
    // buf of size bytes; nothing is written before begin().
    ApList(char* buf, size_t size) : buf_(buf), size_(size) {}

    void begin();
    // Appends entry[0, len) whole, or nothing once the list is full.
    bool append(const char* entry, size_t len);
    void close();

    size_t length() const { return len_; }

private:
    char* buf_;
    size_t size_;
    size_t len_ = 0;
    bool full_ = false;
};
