#include "fw_input.h"

#include <cerrno>
#include <unistd.h>

size_t parse_content_length(const char* text, size_t limit)
{
    if (!text || !*text) return 0;
    size_t n = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return 0;
        n = n * 10 + static_cast<size_t>(*p - '0');
        if (n > limit) return 0; // also stops before any overflow
    }
    return n;
}

size_t read_body(int fd, unsigned char* buf, size_t len)
{
    size_t got = 0;
    while (got < len) {
        ssize_t r = read(fd, buf + got, len - got);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        got += static_cast<size_t>(r);
    }
    return got;
}
