// Ending the daemon on a signal: "STOPPED" into the play-state file, then
// exit status 1.
#pragma once

// Blocks SIGINT and SIGTERM for every thread and waits for them on a thread
// of its own; SIGSEGV and SIGBUS end the process at once. Call before any
// other thread is created. 0, or -1 when the waiting thread could not start.
int install_signal_handlers();

// What a caught SIGINT or SIGTERM does; never returns.
[[noreturn]] void signal_exit_handler(int sig);
