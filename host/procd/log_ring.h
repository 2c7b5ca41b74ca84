// The system log stand-in: a ring of whole lines, as logd keeps one, so a
// chatty daemon pushes out the oldest lines and never grows the memory.
#pragma once

#include <cstddef>

// Longest entry kept (logd cuts its messages too); longer lines are cut.
constexpr size_t LOG_LINE_MAX = 1024;

class LogRing {
public:
    explicit LogRing(size_t capacity);
    ~LogRing();
    LogRing(const LogRing&) = delete;
    LogRing& operator=(const LogRing&) = delete;

    bool ok() const { return buf_ != nullptr; }
    // Appends `line` (no newline of its own; one is added). A line longer
    // than the ring is cut to fit; older lines go until it fits.
    void add(const char* line, size_t len);
    // Calls `each(line, len, ctx)` for every line, oldest first (len without
    // the newline). Lines are copied out whole, also when they wrap.
    void for_each(void (*each)(const char*, size_t, void*), void* ctx) const;
    size_t used() const { return used_; }
    size_t lines() const { return lines_; }

private:
    void drop_oldest();
    char* buf_;
    size_t cap_;
    size_t head_ = 0;  // first byte of the oldest line
    size_t used_ = 0;
    size_t lines_ = 0;
};
