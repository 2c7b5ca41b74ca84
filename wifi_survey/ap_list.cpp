#include "ap_list.h"

#include <cstring>

namespace {
constexpr char OPEN_TAG[] = "<APList>";
constexpr char CLOSE_TAG[] = "</APList>";
constexpr size_t OPEN_LEN = sizeof OPEN_TAG - 1;
constexpr size_t CLOSE_LEN = sizeof CLOSE_TAG - 1;
}  // namespace

void ApList::begin() {
    len_ = 0;
    // Too small for even an empty list: write nothing rather than a torn text.
    full_ = size_ < OPEN_LEN + CLOSE_LEN + 1;
    if (full_) return;
    memcpy(buf_, OPEN_TAG, OPEN_LEN);
    len_ = OPEN_LEN;
    buf_[len_] = '\0';
}

bool ApList::append(const char* entry, size_t len) {
    if (full_ || len > size_ - len_ - CLOSE_LEN - 1) {
        full_ = true;
        return false;
    }
    memcpy(buf_ + len_, entry, len);
    len_ += len;
    buf_[len_] = '\0';
    return true;
}

void ApList::close() {
    if (size_ < OPEN_LEN + CLOSE_LEN + 1) return;
    memcpy(buf_ + len_, CLOSE_TAG, CLOSE_LEN);
    len_ += CLOSE_LEN;
    buf_[len_] = '\0';
}
