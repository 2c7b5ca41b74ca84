#include "client_lock.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>

ClientLock::ClientLock(const char* path)
{
    if (snprintf(path_, sizeof path_, "%s", path) >= static_cast<int>(sizeof path_)) path_[0] = '\0';
}

bool ClientLock::take(int how)
{
    if (fd_) return true;
    if (!path_[0]) return false;
    UniqueFd fd(open(path_, O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (!fd) return false;
    int r;
    do {
        r = flock(fd.get(), how);
    } while (r != 0 && errno == EINTR);
    if (r != 0) return false;
    fd_ = static_cast<UniqueFd&&>(fd);
    return true;
}

bool ClientLock::lock() { return take(LOCK_EX); }

bool ClientLock::try_lock() { return take(LOCK_EX | LOCK_NB); }
