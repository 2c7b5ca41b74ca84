// Ending the daemon on a signal: "STOPPED" into the play-state file, then
// exit status 1.
#pragma once

// Blocks SIGINT and SIGTERM for every thread and waits for them on a thread
// of its own; SIGSEGV and SIGBUS write "STOPPED" from their handler and end
// the process at once. Call before any other thread is created. 0, or -1
// when the waiting thread could not start (the two signals are then
// unblocked again).
int install_signal_handlers();

// Gives the calling thread the stack the fault handler runs on, so that a
// fault from an overflowing stack still reaches it. The thread that calls
// install_signal_handlers has one already.
void use_fault_stack();

// What a caught SIGINT or SIGTERM does; never returns.
[[noreturn]] void signal_exit_handler(int sig);
