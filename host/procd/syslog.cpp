#include "syslog.h"

#include "log_ring.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {
LogRing* the_ring = nullptr;
void (*notify)(const char*, size_t) = nullptr;
}  // namespace

void syslog_init(LogRing* ring, void (*on_line)(const char*, size_t)) {
    the_ring = ring;
    notify = on_line;
}

void syslog_add(Level level, const char* ident, const char* text, size_t len) {
    char line[LOG_LINE_MAX];
    time_t t = time(nullptr);
    tm local;
    char stamp[32] = "";
    if (localtime_r(&t, &local)) strftime(stamp, sizeof stamp, "%a %b %e %H:%M:%S %Y", &local);
    int n = snprintf(line, sizeof line, "%s daemon.%s %s: %.*s", stamp,
                     level == Level::err ? "err" : "info", ident, static_cast<int>(len), text);
    if (n < 0) return;
    size_t total = static_cast<size_t>(n) < sizeof line ? n : sizeof line - 1;
    if (the_ring) the_ring->add(line, total);
    if (notify) notify(line, total);
}
