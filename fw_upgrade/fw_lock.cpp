#include "fw_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>

UniqueFd take_upload_lock(const char* path)
{
    UniqueFd fd(open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd) return fd;
    int r;
    while ((r = flock(fd.get(), LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (r != 0) fd.reset();
    return fd;
}
