// Entries of the system log stand-in, formatted as logread prints them:
// "Wed Dec  9 03:20:07 2026 daemon.info dorvu[812]: text".
#pragma once

#include <cstddef>

class LogRing;

enum class Level { err, info };

// Where new entries go: the ring, then `on_line` (the followers of logread -f).
void syslog_init(LogRing* ring, void (*on_line)(const char*, size_t));
void syslog_add(Level level, const char* ident, const char* text, size_t len);
