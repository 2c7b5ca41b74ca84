// What the Wi-Fi watchdog needs from the box. main passes the shell runner,
// the pipe reader and sleep(); tests pass stand-ins that journal.
#pragma once

#include <cstddef>

struct WatchOps {
    // Runs cmd through the shell and waits; the result is not looked at.
    int (*run)(const char* cmd);
    // Collects at most n - 1 bytes of cmd's output into out; -1 when the
    // pipe cannot be opened (read_command of common/shell.h).
    long (*read)(const char* cmd, char* out, size_t n);
    unsigned (*sleep)(unsigned seconds);
};
