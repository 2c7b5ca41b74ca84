// The player's mutex and its scoped hold, annotated so that clang checks
// every use against the lock table in player.h.
#pragma once

#include "thread_safety.h"

#include <ctime>
#include <pthread.h>

class CAPABILITY("mutex") Mutex {
public:
    // Constant-initialised and never destroyed: a global lock is usable from
    // the first line of main and by threads still running at _exit.
    constexpr Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock() ACQUIRE() { pthread_mutex_lock(&m_); }
    void unlock() RELEASE() { pthread_mutex_unlock(&m_); }
    // Waits until the CLOCK_REALTIME deadline; true when the lock is held.
    bool lock_until(const timespec& deadline) TRY_ACQUIRE(true) {
        return pthread_mutex_timedlock(&m_, &deadline) == 0;
    }

private:
    pthread_mutex_t m_ = PTHREAD_MUTEX_INITIALIZER;
};

class SCOPED_CAPABILITY MutexHold {
public:
    explicit MutexHold(Mutex* m) ACQUIRE(m) : m_(m) { m_->lock(); }
    ~MutexHold() RELEASE() { m_->unlock(); }
    MutexHold(const MutexHold&) = delete;
    MutexHold& operator=(const MutexHold&) = delete;

private:
    Mutex* m_;
};
