#include "find_process.h"

#include "shell.h"

#include <cstdio>
#include <cstring>

bool find_process(const char* name) {
    char cmd[256];
    if (snprintf(cmd, sizeof cmd, "ps -w |grep %s", name) >= (int)sizeof cmd) return false;
    char out[4096];
    memset(out, 0, sizeof out);
    if (read_command(cmd, out, sizeof out) <= 0) return false;
    char* rest = nullptr;
    const char* pid = strtok_r(out, " \t\n", &rest);
    if (!pid) return false;
    printf("\n%s pid=%s\n", name, pid);
    return true;
}
