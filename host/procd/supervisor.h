// The service table and procd's instance rules (service/instance.c):
//   - "set" starts new instances, leaves running unchanged ones alone,
//     restarts changed ones (SIGTERM, the new one once the old has ended) and
//     stops those no longer described;
//   - "delete" (an init script's stop) sends SIGTERM and returns at once; the
//     instance is forgotten when its process has ended, after SIGKILL if it
//     is still there after its term timeout. A "set" while it is ending
//     starts it again once it has ended;
//   - an instance with respawn that ends by itself is started again TIMEOUT
//     seconds later; a run shorter than THRESHOLD counts a crash, a longer
//     one resets the count; past RETRY crashes (RETRY > 0) it is left stopped.
//   - with stdout/stderr 1 its output lines go to the system log.
#pragma once

#include "box_clock.h"
#include "instance_config.h"

#include <poll.h>
#include <sys/types.h>

constexpr size_t INSTANCES_MAX = 64;

struct OutStream {
    int fd = -1;
    pid_t pid = 0;  // the writer, for the log's "name[pid]"
    char buf[512];
    size_t len = 0;
};

struct Instance {
    bool used = false;
    char service[NAME_MAX_LEN];
    InstanceConfig config;
    pid_t pid = 0;
    double started = 0;
    int crashes = 0;
    // procd's flags: halt (stopping for good, or given up), restart (start
    // again once ended), respawn (ends are respawned).
    bool halt = false, restart = false, respawn = false;
    bool crash_loop = false;
    double timer_at = -1;  // respawn when not running, SIGKILL when halting
    OutStream out, err;
};

class Supervisor {
public:
    explicit Supervisor(const BoxClock& clock) : clock_(clock) {}

    // The request verbs. `reply` gets the answer lines ("ok" first).
    void set_service(const char* name, const InstanceConfig* configs, size_t n, char* reply,
                     size_t cap);
    void delete_service(const char* name);
    void list(const char* name, char* reply, size_t cap) const;

    void child_ended(pid_t pid, int status);
    void run_timers();
    int next_wait_ms() const;  // until the nearest timer, -1 for none

    // Output pipes: add them to a poll set, then hand back the results.
    size_t poll_fds(pollfd* fds, size_t max) const;
    void poll_done(const pollfd* fds, size_t n);

private:
    Instance* find(const char* service, const char* name);
    Instance* free_slot();
    void start(Instance& in);
    void stop(Instance& in, bool halt);
    void restart_changed(Instance& in);
    void forget(Instance& in);
    void drain(Instance& in, OutStream& s, bool is_err);
    void read_stream(Instance& in, OutStream& s, bool is_err);
    void flush_stream(Instance& in, OutStream& s, bool is_err, bool all);

    const BoxClock& clock_;
    Instance table_[INSTANCES_MAX];
};
