#include "server.h"

#include "paths.h"
#include "syslog.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <regex.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr size_t CONNS_MAX = 16;
constexpr size_t REPLY_MAX = 16384;
constexpr size_t CONFIGS_MAX = 16;

struct Conn {
    int fd = -1;
    bool follower = false;
    bool has_re = false;
    regex_t re;
    size_t len = 0;             // of the request; for a follower, of the lines not yet sent
    char req[REQUEST_MAX + 1];  // the request; for a follower, lines not yet sent
};

Conn conns[CONNS_MAX];

void close_conn(Conn& c) {
    if (c.fd >= 0) close(c.fd);
    if (c.has_re) regfree(&c.re);
    c.fd = -1;
    c.follower = c.has_re = false;
    c.len = 0;
}

bool send_all(int fd, const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = send(fd, p, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

// Sends what a follower has pending, as far as its socket takes it.
void flush_follower(Conn& c) {
    while (c.len > 0) {
        ssize_t w = send(c.fd, c.req, c.len, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno == EAGAIN) return;
        if (w <= 0) {
            close_conn(c);
            return;
        }
        memmove(c.req, c.req + w, c.len - static_cast<size_t>(w));
        c.len -= static_cast<size_t>(w);
    }
}

void to_followers(const char* line, size_t len) {
    char buf[LOG_LINE_MAX + 1];
    memcpy(buf, line, len);
    buf[len] = '\0';
    for (Conn& c : conns) {
        if (c.fd < 0 || !c.follower) continue;
        if (c.has_re && regexec(&c.re, buf, 0, nullptr, 0) != 0) continue;
        // A follower that does not keep up is let go rather than stall the box.
        if (c.len + len + 1 > REQUEST_MAX) {
            close_conn(c);
            continue;
        }
        memcpy(c.req + c.len, line, len);
        c.req[c.len + len] = '\n';
        c.len += len + 1;
        flush_follower(c);
    }
}

struct Dump {
    const regex_t* re;
    size_t skip;   // matching lines to leave out (the older ones)
    size_t count;  // matching lines seen
    int fd;
    bool ok;
};

void dump_line(const char* line, size_t len, void* ctx) {
    Dump& d = *static_cast<Dump*>(ctx);
    if (d.re) {
        char buf[LOG_LINE_MAX + 1];
        memcpy(buf, line, len);
        buf[len] = '\0';
        if (regexec(d.re, buf, 0, nullptr, 0) != 0) return;
    }
    if (d.count++ < d.skip || d.fd < 0 || !d.ok) return;
    char buf[LOG_LINE_MAX + 1];
    memcpy(buf, line, len);
    buf[len] = '\n';
    d.ok = send_all(d.fd, buf, len + 1);
}

// "log LINES [follow]" and its pattern line. Returns false when done with c.
bool handle_log(Conn& c, const char* args, const char* pattern, LogRing& ring) {
    char* end;
    unsigned long lines = strtoul(args, &end, 10);
    bool follow = strstr(end, "follow") != nullptr;
    if (pattern && *pattern) {
        if (regcomp(&c.re, pattern, REG_EXTENDED | REG_NOSUB) != 0) {
            send_all(c.fd, "error bad pattern\n", 18);
            return false;
        }
        c.has_re = true;
    }
    if (!send_all(c.fd, "ok\n", 3)) return false;
    Dump d{c.has_re ? &c.re : nullptr, 0, 0, -1, true};
    ring.for_each(dump_line, &d);  // count the matches first
    d.skip = (lines && d.count > lines) ? d.count - lines : 0;
    d.count = 0;
    d.fd = c.fd;
    ring.for_each(dump_line, &d);
    if (!d.ok || !follow) return false;
    c.follower = true;
    c.len = 0;
    return true;
}

// One whole request. Returns whether the connection stays (a follower).
bool handle(Conn& c, Supervisor& sup, LogRing& ring) {
    static char reply[REPLY_MAX];
    static InstanceConfig configs[CONFIGS_MAX];
    reply[0] = '\0';
    c.req[c.len] = '\0';
    char* body = strchr(c.req, '\n');
    if (body) *body++ = '\0';
    char* arg = strchr(c.req, ' ');
    if (arg) *arg++ = '\0';
    const char* name = arg ? arg : "";
    if (strcmp(c.req, "set") == 0 && name[0]) {
        const char* err = nullptr;
        int n = body ? parse_instances(body, strlen(body), configs, CONFIGS_MAX, &err) : 0;
        if (n < 0)
            snprintf(reply, sizeof reply, "error %s\n", err);
        else
            sup.set_service(name, configs, static_cast<size_t>(n), reply, sizeof reply);
    } else if (strcmp(c.req, "delete") == 0 && name[0]) {
        sup.delete_service(name);
        snprintf(reply, sizeof reply, "ok\n");
    } else if (strcmp(c.req, "list") == 0) {
        sup.list(name, reply, sizeof reply);
    } else if (strcmp(c.req, "log") == 0) {
        char* nl = body ? strchr(body, '\n') : nullptr;
        if (nl) *nl = '\0';
        return handle_log(c, name, body, ring);
    } else {
        snprintf(reply, sizeof reply, "error unknown request %.64s\n", c.req);
    }
    send_all(c.fd, reply, strlen(reply));
    return false;
}

void accept_conn(int listen_fd) {
    int fd = accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    for (Conn& c : conns) {
        if (c.fd >= 0) continue;
        c.fd = fd;
        c.len = 0;
        return;
    }
    send_all(fd, "error busy\n", 11);
    close(fd);
}

void read_conn(Conn& c, short revents, Supervisor& sup, LogRing& ring) {
    if (c.follower) {
        // Its side was shut with the request; only its whole end is news.
        if (revents & (POLLHUP | POLLERR))
            close_conn(c);
        else if (revents & POLLOUT)
            flush_follower(c);
        return;
    }
    ssize_t got = read(c.fd, c.req + c.len, REQUEST_MAX - c.len);
    if (got < 0) {
        if (errno != EAGAIN && errno != EINTR) close_conn(c);
        return;
    }
    if (got > 0) {
        c.len += static_cast<size_t>(got);
        if (c.len < REQUEST_MAX) return;
        send_all(c.fd, "error request too long\n", 23);
        close_conn(c);
        return;
    }
    // The client shut its side: the request is whole. The answer is sent
    // blocking (bounded), as the client waits for it.
    int fl = fcntl(c.fd, F_GETFL);
    fcntl(c.fd, F_SETFL, fl & ~O_NONBLOCK);
    timeval tv{2, 0};
    setsockopt(c.fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    if (handle(c, sup, ring))
        fcntl(c.fd, F_SETFL, fl | O_NONBLOCK);
    else
        close_conn(c);
}

// Returns false on SIGTERM/SIGINT.
bool take_signals(int sig_fd, Supervisor& sup) {
    signalfd_siginfo si;
    bool go_on = true;
    while (read(sig_fd, &si, sizeof si) == static_cast<ssize_t>(sizeof si))
        if (si.ssi_signo == SIGTERM || si.ssi_signo == SIGINT) go_on = false;
    int status;
    pid_t pid;
    while ((pid = waitpid(-1, &status, WNOHANG)) > 0) sup.child_ended(pid, status);
    return go_on;
}

}  // namespace

int serve(int listen_fd, int sig_fd, Supervisor& sup, LogRing& ring) {
    syslog_init(&ring, to_followers);
    constexpr size_t FDS_MAX = 2 + CONNS_MAX + 2 * INSTANCES_MAX;
    pollfd fds[FDS_MAX];
    for (;;) {
        size_t n = 0;
        fds[n++] = pollfd{sig_fd, POLLIN, 0};
        fds[n++] = pollfd{listen_fd, POLLIN, 0};
        size_t conn_at = n;
        for (const Conn& c : conns)
            if (c.fd >= 0)
                fds[n++] = pollfd{c.fd,
                                  static_cast<short>(!c.follower ? POLLIN
                                                     : c.len     ? POLLOUT
                                                                 : 0),
                                  0};
        size_t pipes_at = n;
        n += sup.poll_fds(fds + n, FDS_MAX - n);
        int r = poll(fds, n, sup.next_wait_ms());
        if (r < 0 && errno != EINTR) return 1;
        if (r > 0) {
            if (fds[0].revents && !take_signals(sig_fd, sup)) return 0;
            sup.poll_done(fds + pipes_at, n - pipes_at);
            for (size_t i = conn_at; i < pipes_at; ++i) {
                if (!fds[i].revents) continue;
                for (Conn& c : conns)
                    if (c.fd == fds[i].fd) read_conn(c, fds[i].revents, sup, ring);
            }
            if (fds[1].revents) accept_conn(listen_fd);
        }
        sup.run_timers();
    }
}
