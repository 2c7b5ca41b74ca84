#include "supervisor.h"

#include "instance_exec.h"
#include "respawn.h"
#include "syslog.h"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void describe_end(int status, char* out, size_t cap) {
    if (WIFSIGNALED(status))
        snprintf(out, cap, "signal %d", WTERMSIG(status));
    else
        snprintf(out, cap, "status %d", WEXITSTATUS(status));
}

// Appends one formatted line to a reply buffer; drops what does not fit.
void reply_line(char* reply, size_t cap, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));
void reply_line(char* reply, size_t cap, const char* fmt, ...) {
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

}  // namespace

Instance* Supervisor::find(const char* service, const char* name) {
    for (Instance& in : table_)
        if (in.used && strcmp(in.service, service) == 0 && strcmp(in.config.name, name) == 0)
            return &in;
    return nullptr;
}

Instance* Supervisor::free_slot() {
    for (Instance& in : table_)
        if (!in.used) return &in;
    return nullptr;
}

void Supervisor::start(Instance& in) {
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
    if (in.config.argc == 0) {
        trace("%s::%s has no command", in.service, in.config.name);
        return;
    }
    int out[2] = {-1, -1}, err[2] = {-1, -1};
    if (in.config.log_stdout && pipe2(out, O_CLOEXEC) != 0) out[0] = out[1] = -1;
    if (in.config.log_stderr && pipe2(err, O_CLOEXEC) != 0) err[0] = err[1] = -1;
    pid_t pid = fork();
    if (pid == 0) exec_instance(in.config, out[1], err[1]);
    for (int fd : {out[1], err[1]})
        if (fd >= 0) close(fd);
    if (pid < 0) {
        for (int fd : {out[0], err[0]})
            if (fd >= 0) close(fd);
        trace("%s::%s cannot fork: %s", in.service, in.config.name, strerror(errno));
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
    for (size_t i = 0; i < in.config.argc; ++i) {
        size_t used = strlen(cmd);
        snprintf(cmd + used, sizeof cmd - used, "%s%s", i ? " " : "", in.config.arg(i));
    }
    trace("%s::%s started pid %d: %s", in.service, in.config.name, static_cast<int>(pid), cmd);
}

void Supervisor::stop(Instance& in, bool halt) {
    if (!in.pid) {
        if (halt) forget(in);
        return;
    }
    in.halt = halt;
    in.restart = in.respawn = false;
    trace("%s::%s stopping pid %d (SIGTERM)", in.service, in.config.name, static_cast<int>(in.pid));
    kill(in.pid, SIGTERM);
    in.timer_at = clock_.now() + in.config.term_timeout;
}

void Supervisor::restart_changed(Instance& in) {
    if (!in.pid) return;
    in.halt = in.restart = true;
    trace("%s::%s stopping pid %d (SIGTERM) for its new configuration", in.service, in.config.name,
          static_cast<int>(in.pid));
    kill(in.pid, SIGTERM);
    in.timer_at = clock_.now() + in.config.term_timeout;
}

void Supervisor::forget(Instance& in) {
    drain(in, in.out, false);
    drain(in, in.err, true);
    flush_stream(in, in.out, false, true);
    flush_stream(in, in.err, true, true);
    in.used = false;
}

void Supervisor::set_service(const char* name, const InstanceConfig* configs, size_t n, char* reply,
                             size_t cap) {
    bool listed[INSTANCES_MAX] = {};
    for (size_t i = 0; i < n; ++i) {
        Instance* in = find(name, configs[i].name);
        if (in) {
            listed[in - table_] = true;
            bool running = in->pid != 0;
            bool changed = !config_equal(in->config, configs[i]);
            bool stopping = in->halt && running;
            in->config = configs[i];
            in->respawn = configs[i].respawn;
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
        in->config = configs[i];
        in->respawn = configs[i].respawn;
        start(*in);
    }
    for (Instance& in : table_)
        if (in.used && !listed[&in - table_] && strcmp(in.service, name) == 0) stop(in, true);
    reply_line(reply, cap, "ok");
}

void Supervisor::delete_service(const char* name) {
    for (Instance& in : table_)
        if (in.used && strcmp(in.service, name) == 0) stop(in, true);
    trace("service %s deleted", name);
}

void Supervisor::list(const char* name, char* reply, size_t cap) const {
    reply_line(reply, cap, "ok");
    for (const Instance& in : table_) {
        if (!in.used || (name[0] && strcmp(in.service, name) != 0)) continue;
        const char* state = in.pid             ? (in.halt ? "stopping" : "running")
                            : in.crash_loop    ? "crashloop"
                            : in.timer_at >= 0 ? "respawning"
                                               : "stopped";
        reply_line(reply, cap, "%s %s %s %d %d", in.service, in.config.name, state,
                   static_cast<int>(in.pid), in.crashes);
    }
}

void Supervisor::child_ended(pid_t pid, int status) {
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
    const char* nm = in.config.name;
    if (in.halt) {
        if (in.restart) {
            trace("%s::%s pid %d ended (%s) after its stop, starting it again", svc, nm,
                  static_cast<int>(pid), how);
            start(in);
        } else {
            trace("%s::%s pid %d ended (%s) after its stop", svc, nm, static_cast<int>(pid), how);
            forget(in);
        }
    } else if (in.restart) {
        start(in);
    } else if (in.respawn) {
        if (respawn_gives_up(runtime, in.config.threshold, in.config.retry, in.crashes)) {
            trace("%s::%s pid %d ended (%s): crash loop, %d crashes, left stopped", svc, nm,
                  static_cast<int>(pid), how, in.crashes);
            char text[256];
            int n = snprintf(
                text, sizeof text,
                "Instance %s::%s s in a crash loop %d crashes, %ld seconds since last crash", svc,
                nm, in.crashes, static_cast<long>(runtime));
            if (n > 0)
                syslog_add(Level::info, "procd", text,
                           static_cast<size_t>(n) < sizeof text ? n : sizeof text - 1);
            in.restart = in.respawn = false;
            in.halt = in.crash_loop = true;
        } else {
            in.timer_at = clock_.now() + in.config.timeout;
            trace("%s::%s pid %d ended (%s) after %.1f s, crash %d, respawn in %d s", svc, nm,
                  static_cast<int>(pid), how, runtime, in.crashes, in.config.timeout);
        }
    } else {
        trace("%s::%s pid %d ended (%s), no respawn", svc, nm, static_cast<int>(pid), how);
    }
}

void Supervisor::run_timers() {
    double now = clock_.now();
    for (Instance& in : table_) {
        if (!in.used || in.timer_at < 0 || now < in.timer_at) continue;
        in.timer_at = -1;
        if (in.pid && in.halt) {
            trace("%s::%s pid %d still there after %d s: SIGKILL", in.service, in.config.name,
                  static_cast<int>(in.pid), in.config.term_timeout);
            char text[256];
            int n =
                snprintf(text, sizeof text,
                         "Instance %s::%s pid %d not stopped on SIGTERM, sending SIGKILL instead",
                         in.service, in.config.name, static_cast<int>(in.pid));
            if (n > 0)
                syslog_add(Level::info, "procd", text,
                           static_cast<size_t>(n) < sizeof text ? n : sizeof text - 1);
            kill(in.pid, SIGKILL);
        } else if (!in.pid && (in.restart || in.respawn)) {
            start(in);
        }
    }
}

int Supervisor::next_wait_ms() const {
    double next = -1;
    for (const Instance& in : table_)
        if (in.used && in.timer_at >= 0 && (next < 0 || in.timer_at < next)) next = in.timer_at;
    if (next < 0) return -1;
    return clock_.wait_ms(next - clock_.now());
}
