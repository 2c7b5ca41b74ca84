// What the renderer watchdog needs from the box. main passes popen/pclose,
// the shell runner and sleep(); tests pass stand-ins with canned outputs.
#pragma once

#include <cstdio>

struct RendererOps {
    // Opens cmd's output for reading; nullptr (errno set) when it cannot.
    FILE* (*open_pipe)(const char* cmd);
    int (*close_pipe)(FILE* f);
    // Runs cmd through the shell and waits; the result is not looked at.
    int (*run)(const char* cmd);
    unsigned (*sleep)(unsigned seconds);
};
