#include "supervisor.h"

#include "respawn.h"
#include "syslog.h"

#include <cerrno>
#include <cstdarg>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void describe_end(int status, char* out, size_t cap)
{
    if (WIFSIGNALED(status))
        snprintf(out, cap, "signal %d", WTERMSIG(status));
    else
        snprintf(out, cap, "status %d", WEXITSTATUS(status));
}

// Appends one formatted line to a reply buffer; drops what does not fit.
void reply_line(char* reply, size_t cap, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
void reply_line(char* reply, size_t cap, const char* fmt, ...)
{
    size_t used = strlen(reply);
    if (used + 1 >= cap) return;
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(reply + used, cap - used - 1, fmt, ap);
    va_end(ap);
    if (n < 0 || used + n + 1 >= cap) {
        reply[used] = '\0';
        return;
    }
    reply[used + n] = '\n';
    reply[used + n + 1] = '\0';
}

[[noreturn]] void exec_instance(const Spec& s, int out_fd, int err_fd)
{
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

} // namespace

Instance* Supervisor::find(const char* service, const char* name)
{
    for (Instance& in : table_)
        if (in.used && strcmp(in.service, service) == 0 && strcmp(in.spec.name, name) == 0) return &in;
    return nullptr;
}

Instance* Supervisor::free_slot()
{
    for (Instance& in : table_)
        if (!in.used) return &in;
    return nullptr;
}

void Supervisor::start(Instance& in)
{
    if (in.pid) {
        // Still ending: it starts again once it has ended.
        if (in.halt) in.restart = true;
        return;
    }
    drain(in, in.out, false);
    drain(in, in.err, true);
    flush_stream(in, in.out, false, true);
    flush_stream(in, in.err, true, true);
    in.restart = in.halt = in.crash_loop = false;
    in.timer_at = -1;
    if (in.spec.argc == 0) {
        trace("%s::%s has no command", in.service, in.spec.name);
        return;
    }
    int out[2] = {-1, -1}, err[2] = {-1, -1};
    if (in.spec.log_stdout && pipe2(out, O_CLOEXEC) != 0) out[0] = out[1] = -1;
    if (in.spec.log_stderr && pipe2(err, O_CLOEXEC) != 0) err[0] = err[1] = -1;
    pid_t pid = fork();
    if (pid == 0) exec_instance(in.spec, out[1], err[1]);
    for (int fd : {out[1], err[1]})
        if (fd >= 0) close(fd);
    if (pid < 0) {
        for (int fd : {out[0], err[0]})
            if (fd >= 0) close(fd);
        trace("%s::%s cannot fork: %s", in.service, in.spec.name, strerror(errno));
        return;
    }
    // Read ends never block the loop; the daemon's write ends stay blocking.
    for (int fd : {out[0], err[0]})
        if (fd >= 0) fcntl(fd, F_SETFL, O_NONBLOCK);
    in.out.fd = out[0];
    in.err.fd = err[0];
    in.out.len = in.err.len = 0;
    in.out.pid = in.err.pid = pid;
    in.pid = pid;
    in.started = clock_.now();
    char cmd[TEXT_MAX];
    cmd[0] = '\0';
    for (size_t i = 0; i < in.spec.argc; ++i) {
        size_t used = strlen(cmd);
        snprintf(cmd + used, sizeof cmd - used, "%s%s", i ? " " : "", in.spec.arg(i));
    }
    trace("%s::%s started pid %d: %s", in.service, in.spec.name, static_cast<int>(pid), cmd);
}

void Supervisor::stop(Instance& in, bool halt)
{
    if (!in.pid) {
        if (halt) forget(in);
        return;
    }
    in.halt = halt;
    in.restart = in.respawn = false;
    trace("%s::%s stopping pid %d (SIGTERM)", in.service, in.spec.name, static_cast<int>(in.pid));
    kill(in.pid, SIGTERM);
    in.timer_at = clock_.now() + in.spec.term_timeout;
}

void Supervisor::restart_changed(Instance& in)
{
    if (!in.pid) return;
    in.halt = in.restart = true;
    trace("%s::%s stopping pid %d (SIGTERM) for its new configuration", in.service, in.spec.name,
          static_cast<int>(in.pid));
    kill(in.pid, SIGTERM);
    in.timer_at = clock_.now() + in.spec.term_timeout;
}

void Supervisor::forget(Instance& in)
{
    drain(in, in.out, false);
    drain(in, in.err, true);
    flush_stream(in, in.out, false, true);
    flush_stream(in, in.err, true, true);
    in.used = false;
}

void Supervisor::set_service(const char* name, const Spec* specs, size_t n, char* reply, size_t cap)
{
    bool listed[INSTANCES_MAX] = {};
    for (size_t i = 0; i < n; ++i) {
        Instance* in = find(name, specs[i].name);
        if (in) {
            listed[in - table_] = true;
            bool running = in->pid != 0;
            bool changed = !spec_equal(in->spec, specs[i]);
            bool stopping = in->halt && running;
            in->spec = specs[i];
            in->respawn = specs[i].respawn;
            if (!running || stopping)
                start(*in);
            else if (changed)
                restart_changed(*in);
            continue;
        }
        in = free_slot();
        if (!in) {
            reply_line(reply, cap, "error too many instances");
            return;
        }
        *in = Instance();
        in->used = true;
        listed[in - table_] = true;
        snprintf(in->service, sizeof in->service, "%s", name);
        in->spec = specs[i];
        in->respawn = specs[i].respawn;
        start(*in);
    }
    for (Instance& in : table_)
        if (in.used && !listed[&in - table_] && strcmp(in.service, name) == 0) stop(in, true);
    reply_line(reply, cap, "ok");
}

void Supervisor::delete_service(const char* name)
{
    for (Instance& in : table_)
        if (in.used && strcmp(in.service, name) == 0) stop(in, true);
    trace("service %s deleted", name);
}

void Supervisor::list(const char* name, char* reply, size_t cap) const
{
    reply_line(reply, cap, "ok");
    for (const Instance& in : table_) {
        if (!in.used || (name[0] && strcmp(in.service, name) != 0)) continue;
        const char* state = in.pid ? (in.halt ? "stopping" : "running")
                          : in.crash_loop ? "crashloop"
                          : in.timer_at >= 0 ? "respawning" : "stopped";
        reply_line(reply, cap, "%s %s %s %d %d", in.service, in.spec.name, state, static_cast<int>(in.pid),
                   in.crashes);
    }
}

void Supervisor::child_ended(pid_t pid, int status)
{
    Instance* found = nullptr;
    for (Instance& in : table_)
        if (in.used && in.pid == pid) found = &in;
    if (!found) return;  // an orphan of an instance, reparented to us
    Instance& in = *found;
    char how[32];
    describe_end(status, how, sizeof how);
    double runtime = clock_.now() - in.started;
    in.pid = 0;
    in.timer_at = -1;
    const char* svc = in.service;
    const char* nm = in.spec.name;
    if (in.halt) {
        if (in.restart) {
            trace("%s::%s pid %d ended (%s) after its stop, starting it again", svc, nm, static_cast<int>(pid), how);
            start(in);
        } else {
            trace("%s::%s pid %d ended (%s) after its stop", svc, nm, static_cast<int>(pid), how);
            forget(in);
        }
    } else if (in.restart) {
        start(in);
    } else if (in.respawn) {
        if (respawn_gives_up(runtime, in.spec.threshold, in.spec.retry, in.crashes)) {
            trace("%s::%s pid %d ended (%s): crash loop, %d crashes, left stopped", svc, nm, static_cast<int>(pid),
                  how, in.crashes);
            char text[256];
            int n = snprintf(text, sizeof text, "Instance %s::%s s in a crash loop %d crashes, %ld seconds since last crash",
                             svc, nm, in.crashes, static_cast<long>(runtime));
            if (n > 0) syslog_add(Level::info, "procd", text, static_cast<size_t>(n) < sizeof text ? n : sizeof text - 1);
            in.restart = in.respawn = false;
            in.halt = in.crash_loop = true;
        } else {
            in.timer_at = clock_.now() + in.spec.timeout;
            trace("%s::%s pid %d ended (%s) after %.1f s, crash %d, respawn in %d s", svc, nm,
                  static_cast<int>(pid), how, runtime, in.crashes, in.spec.timeout);
        }
    } else {
        trace("%s::%s pid %d ended (%s), no respawn", svc, nm, static_cast<int>(pid), how);
    }
}

void Supervisor::run_timers()
{
    double now = clock_.now();
    for (Instance& in : table_) {
        if (!in.used || in.timer_at < 0 || now < in.timer_at) continue;
        in.timer_at = -1;
        if (in.pid && in.halt) {
            trace("%s::%s pid %d still there after %d s: SIGKILL", in.service, in.spec.name, static_cast<int>(in.pid),
                  in.spec.term_timeout);
            char text[256];
            int n = snprintf(text, sizeof text, "Instance %s::%s pid %d not stopped on SIGTERM, sending SIGKILL instead",
                             in.service, in.spec.name, static_cast<int>(in.pid));
            if (n > 0) syslog_add(Level::info, "procd", text, static_cast<size_t>(n) < sizeof text ? n : sizeof text - 1);
            kill(in.pid, SIGKILL);
        } else if (!in.pid && (in.restart || in.respawn)) {
            start(in);
        }
    }
}

int Supervisor::next_wait_ms() const
{
    double next = -1;
    for (const Instance& in : table_)
        if (in.used && in.timer_at >= 0 && (next < 0 || in.timer_at < next)) next = in.timer_at;
    if (next < 0) return -1;
    return clock_.wait_ms(next - clock_.now());
}

size_t Supervisor::poll_fds(pollfd* fds, size_t max) const
{
    size_t n = 0;
    for (const Instance& in : table_) {
        if (!in.used) continue;
        for (const OutStream* s : {&in.out, &in.err})
            if (s->fd >= 0 && n < max) fds[n++] = pollfd{s->fd, POLLIN, 0};
    }
    return n;
}

void Supervisor::poll_done(const pollfd* fds, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        for (Instance& in : table_) {
            if (!in.used) continue;
            if (in.out.fd == fds[i].fd) read_stream(in, in.out, false);
            else if (in.err.fd == fds[i].fd) read_stream(in, in.err, true);
        }
    }
}

void Supervisor::read_stream(Instance& in, OutStream& s, bool is_err)
{
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
void Supervisor::drain(Instance& in, OutStream& s, bool is_err)
{
    for (int i = 0; i < 64 && s.fd >= 0; ++i) {
        ssize_t got = read(s.fd, s.buf + s.len, sizeof s.buf - s.len);
        if (got <= 0) return;
        s.len += static_cast<size_t>(got);
        flush_stream(in, s, is_err, false);
    }
}

// Hands complete lines to the system log; with `all` (end of output) the
// rest too, and closes the pipe. A line longer than the buffer goes in parts.
void Supervisor::flush_stream(Instance& in, OutStream& s, bool is_err, bool all)
{
    if (s.fd < 0 && s.len == 0) return;
    const char* cmd = in.spec.argc ? in.spec.arg(0) : "?";
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
