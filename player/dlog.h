// The daemon's console lines: most of them only after "--log".
#pragma once

#include "player.h"

#include <cstdarg>
#include <cstdio>

__attribute__((format(printf, 1, 2))) inline void dlog(const char* fmt, ...) {
    if (!g_verbose) return;
    va_list ap;
    va_start(ap, fmt);
    vprintf(fmt, ap);
    va_end(ap);
}
