#include "shell.h"

#include "handles.h"

#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>

int run_shell(const char* cmd) {
    int st = system(cmd);
    if (st == -1) return -1;
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

long read_command(const char* cmd, char* out, size_t n) {
    if (n == 0) return -1;
    out[0] = '\0';
    UniquePipe p(popen(cmd, "r"));
    if (!p) {
        perror("popen");
        return -1;
    }
    size_t got = 0;
    while (got + 1 < n) {
        size_t r = fread(out + got, 1, n - 1 - got, p.get());
        if (r == 0) break;
        got += r;
    }
    out[got] = '\0';
    // Drain the rest so the command is not killed by SIGPIPE mid-way.
    char sink[256];
    while (fread(sink, 1, sizeof sink, p.get()) > 0) {
    }
    return (long)got;
}
