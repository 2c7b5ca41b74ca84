#include "file_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>

UniqueFd lock_file(const char* path, bool wait, mode_t mode) {
    UniqueFd fd(open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!fd) return fd;
    int r;
    while ((r = flock(fd.get(), wait ? LOCK_EX : LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (r != 0) fd.reset();
    return fd;
}
