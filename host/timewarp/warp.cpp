#include "warp.h"

#include <limits>
#include <math.h>
#include <stdlib.h>

double warp_factor(const char* text) {
    if (!text || !*text) return 1.0;
    char* end = nullptr;
    double f = strtod(text, &end);
    if (*end != '\0' || !(f > 0.0) || !isfinite(f)) return 1.0;
    return f;
}

struct timespec warp_scale(const struct timespec& ts, double k) {
    long double ns = (static_cast<long double>(ts.tv_sec) * 1e9L + ts.tv_nsec) * k;
    const long double max_s = static_cast<long double>(std::numeric_limits<time_t>::max());
    struct timespec out;
    if (ns / 1e9L >= max_s) {
        out.tv_sec = std::numeric_limits<time_t>::max();
        out.tv_nsec = 999999999L;
        return out;
    }
    if (ns < 0) ns = 0;
    out.tv_sec = static_cast<time_t>(ns / 1e9L);
    out.tv_nsec = static_cast<long>(ns - static_cast<long double>(out.tv_sec) * 1e9L);
    if (out.tv_nsec >= 1000000000L) {
        out.tv_sec += 1;
        out.tv_nsec -= 1000000000L;
    }
    if (out.tv_nsec < 0) out.tv_nsec = 0;
    // A non-zero length must not become zero: a zero sleep is a different call.
    if (out.tv_sec == 0 && out.tv_nsec == 0 && (ts.tv_sec > 0 || ts.tv_nsec > 0)) out.tv_nsec = 1;
    return out;
}
