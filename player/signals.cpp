#include "signals.h"

#include "dlog.h"
#include "player.h"
#include "playstate.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <pthread.h>
#include <unistd.h>

// How long the end waits for a save in progress before it writes.
static constexpr int SAVE_WAIT_MS = 300;
static constexpr size_t FAULT_STACK_SIZE = 64 * 1024;
static constexpr int FAULT_STACKS = 2;  // the engine's thread and the poll's

static sigset_t exit_signals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

void signal_exit_handler(int sig) {
    dlog("\tdorvu finish code=%d!\n", sig);
    // From here no save replaces the file, so a song starting in this second
    // cannot publish "PLAYING" over the "STOPPED" written next. The engine
    // is not waited for: a stuck device write must not hold the end.
    close_playstate_saves(SAVE_WAIT_MS);
    if (write_stopped_to_file() != 0) dlog("write STOPPED failed in %s\n", "signal_exit_handler");
    request_thread_exit();
    free_doc();
    sleep(1);
    fflush(stdout);
    // _exit: the other threads are still running, and the static
    // destructors that exit would run must not pull their state away.
    _exit(1);
}

static void* wait_for_exit_signal(void*) {
    sigset_t set = exit_signals();
    int sig = 0;
    while (sigwait(&set, &sig) != 0) {
    }
    signal_exit_handler(sig);
}

// A fault leaves memory and locks in an unknown state: the file is edited
// from disk with system calls only, and the process ends at once so that
// the other threads cannot write it again.
static void fatal_signal(int sig) {
    mark_playstate_saves_closed();
    if (g_verbose) {
        char msg[] = "\tdorvu finish code=";
        ssize_t w = write(STDOUT_FILENO, msg, sizeof msg - 1);
        char num[4];
        size_t k = 0;
        if (sig >= 10) num[k++] = (char)('0' + sig / 10 % 10);
        num[k++] = (char)('0' + sig % 10);
        num[k++] = '!';
        num[k++] = '\n';
        w = write(STDOUT_FILENO, num, k);
        (void)w;
    }
    write_stopped_to_file();
    _exit(1);
}

void use_fault_stack() {
    static char stacks[FAULT_STACKS][FAULT_STACK_SIZE];
    static std::atomic<int> used{0};
    int i = used.fetch_add(1);
    if (i >= FAULT_STACKS) return;
    stack_t ss = {};
    ss.ss_sp = stacks[i];
    ss.ss_size = sizeof stacks[i];
    sigaltstack(&ss, nullptr);
}

int install_signal_handlers() {
    use_fault_stack();
    struct sigaction sa = {};
    sa.sa_handler = fatal_signal;
    sa.sa_flags = SA_RESETHAND | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGSEGV, &sa, nullptr);
    sigaction(SIGBUS, &sa, nullptr);

    sigset_t set = exit_signals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    pthread_t t;
    if (pthread_create(&t, nullptr, wait_for_exit_signal, nullptr) != 0) {
        // Nobody would take them: leave them to end the process as usual.
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        return -1;
    }
    pthread_detach(t);
    return 0;
}
