#include "log_ring.h"

#include <cstdlib>
#include <cstring>

LogRing::LogRing(size_t capacity)
    : buf_(capacity >= 2 ? static_cast<char*>(malloc(capacity)) : nullptr), cap_(capacity) {}

LogRing::~LogRing() { free(buf_); }

void LogRing::drop_oldest() {
    while (used_ > 0) {
        char c = buf_[head_];
        head_ = (head_ + 1) % cap_;
        --used_;
        if (c == '\n') break;
    }
    --lines_;
}

void LogRing::add(const char* line, size_t len) {
    if (!buf_) return;
    if (len > LOG_LINE_MAX) len = LOG_LINE_MAX;
    if (len > cap_ - 1) len = cap_ - 1;
    while (cap_ - used_ < len + 1) drop_oldest();
    size_t at = (head_ + used_) % cap_;
    for (size_t i = 0; i < len; ++i) {
        // A newline inside would split the entry; the log keeps one per line.
        buf_[at] = line[i] == '\n' ? ' ' : line[i];
        at = (at + 1) % cap_;
    }
    buf_[at] = '\n';
    used_ += len + 1;
    ++lines_;
}

void LogRing::for_each(void (*each)(const char*, size_t, void*), void* ctx) const {
    if (!buf_) return;
    char line[LOG_LINE_MAX];
    size_t n = 0;
    for (size_t i = 0; i < used_; ++i) {
        char c = buf_[(head_ + i) % cap_];
        if (c == '\n') {
            each(line, n, ctx);
            n = 0;
        } else if (n < sizeof line) {
            line[n++] = c;
        }
    }
}
