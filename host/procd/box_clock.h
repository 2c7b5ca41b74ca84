// The supervisor's clock and its own event trace.
//
// Box time is seconds since the supervisor started, times TIMEWARP (the time
// stand-in's factor, which the daemons inherit with the preload library), so
// every length here shrinks with the daemons' sleeps and the whole box runs
// N times fast. The trace (/var/log/procd.log) stamps each line with it.
#pragma once

class BoxClock {
public:
    BoxClock();
    double now() const;  // box seconds since start
    double warp() const { return warp_; }
    double uptime_at_start() const { return up0_; }  // /proc/uptime at box time 0
    int wait_ms(double box_seconds) const;           // a real poll timeout for a box length

private:
    double mono() const;
    double t0_;
    double warp_;
    double up0_;
};

// Opens the trace (append); false when it cannot be written.
bool trace_open(const char* path, const BoxClock* clock);
void trace(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
