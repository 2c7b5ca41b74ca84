#include "fw_input.h"

#include <cerrno>
#include <poll.h>
#include <time.h>
#include <unistd.h>

namespace {

long long now_ms() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

size_t parse_content_length(const char* text, size_t limit) {
    if (!text || !*text) return 0;
    size_t n = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return 0;
        n = n * 10 + static_cast<size_t>(*p - '0');
        if (n > limit) return 0;  // also stops before any overflow
    }
    return n;
}

size_t read_body(int fd, unsigned char* buf, size_t len, int idle_ms) {
    size_t got = 0;
    // The web server sets no limit of its own: a client that stalls would
    // hold the box, its services already stopped, for ever.
    long long deadline = now_ms() + idle_ms;
    while (got < len) {
        long long left = deadline - now_ms();
        if (left <= 0) break;
        struct pollfd p = {fd, POLLIN, 0};
        int ready = poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        ssize_t r = read(fd, buf + got, len - got);
        if (r < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (r <= 0) break;
        got += static_cast<size_t>(r);
        deadline = now_ms() + idle_ms;
    }
    return got;
}
