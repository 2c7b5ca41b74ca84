// Scoped hold of one of the player's mutexes.
#pragma once

#include <pthread.h>

class MutexHold {
public:
    explicit MutexHold(pthread_mutex_t* m) : m_(m) { pthread_mutex_lock(m_); }
    ~MutexHold() { pthread_mutex_unlock(m_); }
    MutexHold(const MutexHold&) = delete;
    MutexHold& operator=(const MutexHold&) = delete;

private:
    pthread_mutex_t* m_;
};
