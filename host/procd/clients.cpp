#include "clients.h"

#include "handles.h"
#include "paths.h"
#include "write_all.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

const char* socket_path() {
    const char* p = getenv("PROCD_SOCKET");
    return p && *p ? p : PROCD_SOCKET;
}

namespace {

constexpr int REPLY_TIMEOUT_S = 30;

int connect_supervisor(const char* who) {
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    const char* path = socket_path();
    if (strlen(path) >= sizeof sa.sun_path) {
        fprintf(stderr, "%s: socket path too long: %s\n", who, path);
        return -1;
    }
    memcpy(sa.sun_path, path, strlen(path) + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        fprintf(stderr, "%s: cannot reach the supervisor at %s: %s\n", who, path, strerror(errno));
        if (fd >= 0) close(fd);
        return -1;
    }
    return fd;
}

// Sends `req`, then copies the answer to stdout; with `skip_status` the
// first line ("ok") is checked and left out. Returns the exit status.
int exchange(const char* who, const char* req, size_t len, bool skip_status, bool follow) {
    UniqueFd fd(connect_supervisor(who));
    if (!fd) return 1;
    if (!follow) {
        // The supervisor answers at once; a hung one must not hang the boot.
        timeval tv{REPLY_TIMEOUT_S, 0};
        setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    if (!write_all(fd.get(), req, len) || shutdown(fd.get(), SHUT_WR) != 0) {
        fprintf(stderr, "%s: cannot send the request: %s\n", who, strerror(errno));
        return 1;
    }
    char buf[4096];
    bool in_status = skip_status;
    char status[128];
    size_t slen = 0;
    for (;;) {
        ssize_t got = read(fd.get(), buf, sizeof buf);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            fprintf(stderr, "%s: %s\n", who,
                    errno == EAGAIN ? "no answer from the supervisor" : strerror(errno));
            return 1;
        }
        if (got == 0) break;
        const char* p = buf;
        size_t n = static_cast<size_t>(got);
        while (in_status && n > 0) {
            char c = *p++;
            --n;
            if (c == '\n') {
                in_status = false;
                status[slen] = '\0';
                if (strcmp(status, "ok") != 0) {
                    fprintf(stderr, "%s: %s\n", who, status);
                    return 1;
                }
            } else if (slen + 1 < sizeof status) {
                status[slen++] = c;
            }
        }
        if (n > 0 && !write_all(1, p, n)) return 1;
    }
    if (in_status) {
        fprintf(stderr, "%s: no answer from the supervisor\n", who);
        return 1;
    }
    return 0;
}

}  // namespace

int procd_call_main(int, char**) {
    static char req[REQUEST_MAX];
    size_t len = 0;
    for (;;) {
        ssize_t got = read(0, req + len, sizeof req - len);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            fprintf(stderr, "procd_call: %s\n", strerror(errno));
            return 1;
        }
        if (got == 0) break;
        len += static_cast<size_t>(got);
        if (len == sizeof req) {
            fprintf(stderr, "procd_call: request too long\n");
            return 1;
        }
    }
    return exchange("procd_call", req, len, false, false);
}

int logread_main(int argc, char** argv) {
    unsigned long lines = 0;
    const char* pattern = nullptr;
    bool follow = false;
    int opt;
    while ((opt = getopt(argc, argv, "l:e:f")) != -1) {
        switch (opt) {
        case 'l':
            lines = strtoul(optarg, nullptr, 10);
            break;
        case 'e':
            pattern = optarg;
            break;
        case 'f':
            follow = true;
            break;
        default:
            fprintf(stderr, "Usage: %s [-l LINES] [-e PATTERN] [-f]\n", argv[0]);
            return 1;
        }
    }
    char req[1024];
    int n = snprintf(req, sizeof req, "log %lu%s\n%s\n", lines, follow ? " follow" : "",
                     pattern ? pattern : "");
    if (n < 0 || static_cast<size_t>(n) >= sizeof req) {
        fprintf(stderr, "logread: pattern too long\n");
        return 1;
    }
    return exchange("logread", req, static_cast<size_t>(n), true, follow);
}
