#include "procd_main.h"

#include "handles.h"
#include "paths.h"
#include "server.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

bool write_text(const char* path, const char* text) {
    UniqueFd fd(open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    return fd && write(fd.get(), text, strlen(text)) == static_cast<ssize_t>(strlen(text));
}

int listen_on(const char* path) {
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    if (strlen(path) >= sizeof sa.sun_path) {
        fprintf(stderr, "procd: socket path too long: %s\n", path);
        return -1;
    }
    memcpy(sa.sun_path, path, strlen(path) + 1);
    unlink(path);  // a socket left by an earlier run
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        listen(fd, 16) != 0) {
        fprintf(stderr, "procd: cannot listen on %s: %s\n", path, strerror(errno));
        if (fd >= 0) close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

int procd_main(int argc, char** argv) {
    unsigned ring_kib = LOG_RING_KIB;
    int opt;
    while ((opt = getopt(argc, argv, "S:")) != -1) {
        if (opt == 'S' && atoi(optarg) > 0 && atoi(optarg) <= 4096) {
            ring_kib = static_cast<unsigned>(atoi(optarg));
        } else {
            fprintf(stderr, "Usage: %s [-S LOG_KIB]\n", argv[0]);
            return 1;
        }
    }
    mkdir("/var/run", 0755);
    mkdir("/var/log", 0755);
    LogRing ring(ring_kib * 1024u);
    if (!ring.ok()) {
        fprintf(stderr, "procd: no memory for the log\n");
        return 1;
    }
    static BoxClock clock;
    if (!trace_open(PROCD_TRACE, &clock)) fprintf(stderr, "procd: cannot write %s\n", PROCD_TRACE);

    sigset_t set;
    sigemptyset(&set);
    for (int sig : {SIGCHLD, SIGTERM, SIGINT, SIGHUP}) sigaddset(&set, sig);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    signal(SIGPIPE, SIG_IGN);
    UniqueFd sig_fd(signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
    // Orphans of the instances (background DHCP clients and such) come here,
    // as they come to procd, PID 1 on the box.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    UniqueFd listen_fd(listen_on(socket_path()));
    if (!sig_fd || !listen_fd) return 1;

    // Where box time 0 lies on the clock of /proc/uptime, so that other logs
    // stamped from that clock can be set beside the trace.
    char text[64];
    snprintf(text, sizeof text, "%.2f\n", clock.uptime_at_start());
    write_text(PROCD_T0, text);
    snprintf(text, sizeof text, "%d\n", static_cast<int>(getpid()));
    if (!write_text(PROCD_PIDFILE, text))
        fprintf(stderr, "procd: cannot write %s\n", PROCD_PIDFILE);
    trace("procd stand-in ready (time x%g)", clock.warp());

    static Supervisor sup(clock);
    int status = serve(listen_fd.get(), sig_fd.get(), sup, ring);
    unlink(socket_path());
    return status;
}
