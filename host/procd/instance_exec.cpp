#include "instance_exec.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <unistd.h>

void exec_instance(const InstanceConfig& s, int out_fd, int err_fd) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int sig : {SIGPIPE, SIGTERM, SIGINT, SIGCHLD, SIGHUP}) signal(sig, SIG_DFL);
    int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
        dup2(null, 0);
        dup2(out_fd >= 0 ? out_fd : null, 1);
        dup2(err_fd >= 0 ? err_fd : null, 2);
        if (null > 2) close(null);
    }
    // A session of its own (procd does not): on a loaded PC the scheduler's
    // autogroups then share the CPU per daemon, not per box, so a killed
    // client is gone as quickly as on the box.
    setsid();
    if (chdir("/") != 0) _exit(127);
    for (size_t i = 0; i < s.envc; ++i) {
        char kv[TEXT_MAX];
        snprintf(kv, sizeof kv, "%s", s.env_at(i));
        char* eq = strchr(kv, '=');
        if (!eq) continue;
        *eq = '\0';
        setenv(kv, eq + 1, 1);
    }
    const char* argv[ARGS_MAX + 1];
    for (size_t i = 0; i < s.argc; ++i) argv[i] = s.arg(i);
    argv[s.argc] = nullptr;
    execvp(argv[0], const_cast<char* const*>(argv));
    _exit(127);
}
