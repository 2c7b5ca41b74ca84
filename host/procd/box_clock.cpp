#include "box_clock.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

BoxClock::BoxClock() {
    const char* w = getenv("TIMEWARP");
    char* end = nullptr;
    double f = w ? strtod(w, &end) : 1.0;
    warp_ = (w && end != w && f > 0) ? f : 1.0;
    t0_ = mono();
    up0_ = 0;
    if (FILE* f = fopen("/proc/uptime", "r")) {
        double up;
        if (fscanf(f, "%lf", &up) == 1) up0_ = up;
        fclose(f);
    }
}

double BoxClock::mono() const {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

double BoxClock::now() const { return (mono() - t0_) * warp_; }

int BoxClock::wait_ms(double box_seconds) const {
    if (box_seconds <= 0) return 0;
    double ms = box_seconds / warp_ * 1000.0 + 1;
    return ms > 60000 ? 60000 : static_cast<int>(ms);
}

namespace {
int trace_fd = -1;
const BoxClock* trace_clock = nullptr;
}  // namespace

bool trace_open(const char* path, const BoxClock* clock) {
    trace_clock = clock;
    trace_fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    return trace_fd >= 0;
}

void trace(const char* fmt, ...) {
    char line[1024];
    int n = snprintf(line, sizeof line, "%.2f ", trace_clock ? trace_clock->now() : 0.0);
    va_list ap;
    va_start(ap, fmt);
    int m = vsnprintf(line + n, sizeof line - n - 1, fmt, ap);
    va_end(ap);
    if (m < 0) return;
    size_t len = n + (static_cast<size_t>(m) < sizeof line - n - 1 ? m : sizeof line - n - 2);
    line[len++] = '\n';
    if (trace_fd >= 0 && write(trace_fd, line, len) < 0) {
        // The trace is a help for tests and people; the box runs on without it.
    }
}
