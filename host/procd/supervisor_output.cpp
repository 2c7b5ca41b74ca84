#include "supervisor.h"

#include "syslog.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <unistd.h>

// The instances' standard output and error, read through their pipes and
// handed to the system log line by line.

size_t Supervisor::poll_fds(pollfd* fds, size_t max) const {
    size_t n = 0;
    for (const Instance& in : table_) {
        if (!in.used) continue;
        for (const OutStream* s : {&in.out, &in.err})
            if (s->fd >= 0 && n < max) fds[n++] = pollfd{s->fd, POLLIN, 0};
    }
    return n;
}

void Supervisor::poll_done(const pollfd* fds, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        for (Instance& in : table_) {
            if (!in.used) continue;
            if (in.out.fd == fds[i].fd)
                read_stream(in, in.out, false);
            else if (in.err.fd == fds[i].fd)
                read_stream(in, in.err, true);
        }
    }
}

void Supervisor::read_stream(Instance& in, OutStream& s, bool is_err) {
    ssize_t got = read(s.fd, s.buf + s.len, sizeof s.buf - s.len);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (got <= 0) {
        flush_stream(in, s, is_err, true);
        return;
    }
    s.len += static_cast<size_t>(got);
    flush_stream(in, s, is_err, false);
}

// What the ended process left in the pipe, before it is closed.
void Supervisor::drain(Instance& in, OutStream& s, bool is_err) {
    for (int i = 0; i < 64 && s.fd >= 0; ++i) {
        ssize_t got = read(s.fd, s.buf + s.len, sizeof s.buf - s.len);
        if (got <= 0) return;
        s.len += static_cast<size_t>(got);
        flush_stream(in, s, is_err, false);
    }
}

// Hands complete lines to the system log; with `all` (end of output) the
// rest too, and closes the pipe. A line longer than the buffer goes in parts.
void Supervisor::flush_stream(Instance& in, OutStream& s, bool is_err, bool all) {
    if (s.fd < 0 && s.len == 0) return;
    const char* cmd = in.config.argc ? in.config.arg(0) : "?";
    const char* base = strrchr(cmd, '/');
    char ident[64];
    snprintf(ident, sizeof ident, "%s[%d]", base ? base + 1 : cmd, static_cast<int>(s.pid));
    Level level = is_err ? Level::err : Level::info;
    size_t start = 0;
    for (size_t i = 0; i < s.len; ++i) {
        if (s.buf[i] != '\n') continue;
        syslog_add(level, ident, s.buf + start, i - start);
        start = i + 1;
    }
    if (start == 0 && s.len == sizeof s.buf) {
        syslog_add(level, ident, s.buf, s.len);
        start = s.len;
    }
    memmove(s.buf, s.buf + start, s.len - start);
    s.len -= start;
    if (all) {
        if (s.len) syslog_add(level, ident, s.buf, s.len);
        s.len = 0;
        if (s.fd >= 0) close(s.fd);
        s.fd = -1;
    }
}
