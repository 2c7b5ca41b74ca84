// Preload library for fast daemon tests: with TIMEWARP=N in the environment,
// every sleep, usleep, nanosleep and relative clock_nanosleep lasts 1/N of
// the time asked for. Absolute clock_nanosleep deadlines are left alone (they
// name a moment, not a length). Time as read by the program is not changed.
// With TIMEWARP_JOURNAL=FILE, each finished sleep of the program appends
// "timewarp: slept S" (S the length asked for, in seconds) to FILE, so a test
// sees the pauses in order with the commands a journaling stand-in records.
// Only the process that was started with it journals: it is taken out of the
// environment its children inherit.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include "warp.h"

namespace {

using nanosleep_fn = int (*)(const struct timespec*, struct timespec*);
using clock_nanosleep_fn = int (*)(clockid_t, int, const struct timespec*, struct timespec*);

nanosleep_fn real_nanosleep() {
    static nanosleep_fn fn = reinterpret_cast<nanosleep_fn>(dlsym(RTLD_NEXT, "nanosleep"));
    return fn;
}

clock_nanosleep_fn real_clock_nanosleep() {
    static clock_nanosleep_fn fn =
        reinterpret_cast<clock_nanosleep_fn>(dlsym(RTLD_NEXT, "clock_nanosleep"));
    return fn;
}

double factor() { return warp_factor(getenv("TIMEWARP")); }

char g_journal[512];

__attribute__((constructor)) void take_journal() {
    const char* path = getenv("TIMEWARP_JOURNAL");
    if (!path) return;
    if (snprintf(g_journal, sizeof g_journal, "%s", path) >= (int)sizeof g_journal)
        g_journal[0] = '\0';
    unsetenv("TIMEWARP_JOURNAL");
}

void journal_sleep(const struct timespec& req) {
    if (!g_journal[0]) return;
    char line[64];
    int n = snprintf(line, sizeof line, "timewarp: slept %g\n", req.tv_sec + req.tv_nsec / 1e9);
    int fd = open(g_journal, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    if (write(fd, line, n) < 0) {
    }
    close(fd);
}

// Sleeps the warped length of req; on interruption *left gets the unslept
// part in the program's (unwarped) time. Returns 0 or an errno value.
int warped_sleep(const struct timespec& req, struct timespec* left) {
    double f = factor();
    struct timespec scaled = warp_scale(req, 1.0 / f);
    struct timespec rem = {0, 0};
    nanosleep_fn fn = real_nanosleep();
    if (!fn) return ENOSYS;
    if (fn(&scaled, &rem) == 0) {
        journal_sleep(req);
        return 0;
    }
    int err = errno;
    if (left) *left = warp_scale(rem, f);
    return err;
}

}  // namespace

extern "C" {

unsigned int sleep(unsigned int seconds) {
    struct timespec req = {static_cast<time_t>(seconds), 0};
    struct timespec left = {0, 0};
    if (warped_sleep(req, &left) == 0) return 0;
    return static_cast<unsigned int>(left.tv_sec + (left.tv_nsec > 0 ? 1 : 0));
}

int usleep(useconds_t usec) {
    struct timespec req = {static_cast<time_t>(usec / 1000000),
                           static_cast<long>(usec % 1000000) * 1000};
    int err = warped_sleep(req, nullptr);
    if (err == 0) return 0;
    errno = err;
    return -1;
}

int nanosleep(const struct timespec* req, struct timespec* rem) {
    if (!req || req->tv_nsec < 0 || req->tv_nsec >= 1000000000L || req->tv_sec < 0) {
        errno = EINVAL;
        return -1;
    }
    int err = warped_sleep(*req, rem);
    if (err == 0) return 0;
    errno = err;
    return -1;
}

int clock_nanosleep(clockid_t clock, int flags, const struct timespec* req, struct timespec* rem) {
    clock_nanosleep_fn fn = real_clock_nanosleep();
    if (!fn) return ENOSYS;
    if ((flags & TIMER_ABSTIME) || !req || req->tv_nsec < 0 || req->tv_nsec >= 1000000000L ||
        req->tv_sec < 0)
        return fn(clock, flags, req, rem);
    double f = factor();
    struct timespec scaled = warp_scale(*req, 1.0 / f);
    struct timespec left = {0, 0};
    int err = fn(clock, flags, &scaled, &left);
    if (err == 0) journal_sleep(*req);
    if (err == EINTR && rem) *rem = warp_scale(left, f);
    return err;
}

}  // extern "C"
