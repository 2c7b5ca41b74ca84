// Outside commands through the shell, as the box runs them.
#pragma once

#include <cstddef>

// system(cmd); returns the command's exit status, or -1 when it could not run.
int run_shell(const char* cmd);

// Runs cmd with popen and collects at most n - 1 bytes of its output into
// out (terminated). Returns the number of bytes collected, or -1 when the
// pipe could not be opened (reported with perror("popen")).
long read_command(const char* cmd, char* out, size_t n);
