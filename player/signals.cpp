#include "signals.h"

#include "dlog.h"
#include "player.h"
#include "playstate.h"

#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <ctime>
#include <pthread.h>
#include <unistd.h>

static sigset_t exit_signals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

void signal_exit_handler(int sig) {
    // The engine is held still while the last state is written, so that a
    // song starting in this second cannot publish "PLAYING" over it. A lock
    // that is not released in time (a stuck device write) is not waited for.
    timespec until;
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += 2;
    pthread_mutex_timedlock(&g_player_lock, &until);
    dlog("\tdorvu finish code=%d!\n", sig);
    setxmlPlaystate("STOPPED");
    request_thread_exit();
    free_doc();
    sleep(1);
    // exit, not _exit: the device's last data is flushed by the exit-time
    // handlers. The engine waits on the lock held here meanwhile.
    exit(1);
}

static void* wait_for_exit_signal(void*) {
    sigset_t set = exit_signals();
    int sig = 0;
    while (sigwait(&set, &sig) != 0) {
    }
    signal_exit_handler(sig);
}

// A fault leaves memory and locks in an unknown state: writing the file from
// here could deadlock or write garbage, so only the exit status is kept.
static void fatal_signal(int sig) {
    if (g_verbose) {
        char msg[] = "\tdorvu finish code=00!\n";
        msg[19] = (char)('0' + sig / 10 % 10);
        msg[20] = (char)('0' + sig % 10);
        ssize_t w = write(STDOUT_FILENO, msg, sizeof msg - 1);
        (void)w;
    }
    _exit(1);
}

int install_signal_handlers() {
    struct sigaction sa = {};
    sa.sa_handler = fatal_signal;
    sa.sa_flags = SA_RESETHAND;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGSEGV, &sa, nullptr);
    sigaction(SIGBUS, &sa, nullptr);

    sigset_t set = exit_signals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    pthread_t t;
    if (pthread_create(&t, nullptr, wait_for_exit_signal, nullptr) != 0) return -1;
    pthread_detach(t);
    return 0;
}
