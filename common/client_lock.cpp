#include "client_lock.h"

#include <cstdio>

#include "file_lock.h"

ClientLock::ClientLock(const char* path) {
    if (snprintf(path_, sizeof path_, "%s", path) >= static_cast<int>(sizeof path_))
        path_[0] = '\0';
}

bool ClientLock::take(bool wait) {
    if (fd_) return true;
    if (!path_[0]) return false;
    fd_ = lock_file(path_, wait, 0644);
    return static_cast<bool>(fd_);
}

bool ClientLock::lock() { return take(true); }

bool ClientLock::try_lock() { return take(false); }
