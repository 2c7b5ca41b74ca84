#include "fw_lock.h"

#include <cerrno>
#include <cstring>
#include <limits.h>
#include <sys/stat.h>

#include "file_lock.h"

namespace {

// Creates the folder holding path (one level, 0755 whatever the umask).
// False when it cannot be made; true too when another run made it first.
bool make_lock_folder(const char* path) {
    char dir[PATH_MAX];
    size_t n = strlen(path);
    if (n >= sizeof dir) return false;
    memcpy(dir, path, n + 1);
    char* slash = strrchr(dir, '/');
    if (!slash || slash == dir) return false;
    *slash = '\0';
    if (mkdir(dir, 0755) != 0) return errno == EEXIST;
    return chmod(dir, 0755) == 0;
}

}  // namespace

UniqueFd take_upload_lock(const char* path) {
    UniqueFd fd = lock_file(path, false, 0600);
    // /var/lock lives in RAM and can be missing (a box booted without the
    // service that makes it): the upload is how such a box is rescued, so
    // the folder is made rather than every upload refused.
    if (fd || errno != ENOENT) return fd;
    if (!make_lock_folder(path)) return fd;
    return lock_file(path, false, 0600);
}
