#include "atomic_file.h"

#include "bounded.h"
#include "handles.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <libgen.h>
#include <sys/stat.h>
#include <unistd.h>

static int write_all(int fd, const char* p, size_t len) {
    while (len > 0) {
        ssize_t w = write(fd, p, len);
        if (w < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        p += w;
        len -= (size_t)w;
    }
    return 0;
}

static void sync_dir_of(const char* path) {
    char dir[PATH_MAX];
    copy_bounded(dir, sizeof dir, path);
    UniqueFd d(open(dirname(dir), O_RDONLY | O_DIRECTORY));
    if (d) fsync(d.get());
}

int write_file_atomic(const char* path, const void* data, size_t len) {
    char tmp[PATH_MAX];
    if (snprintf(tmp, sizeof tmp, "%s.tmpXXXXXX", path) >= (int)sizeof tmp) {
        errno = ENAMETOOLONG;
        return -1;
    }
    UniqueFd fd(mkstemp(tmp));
    if (!fd) return -1;

    mode_t mode = 0644;
    struct stat st;
    if (stat(path, &st) == 0) mode = st.st_mode & 07777;

    int err = 0;
    if (fchmod(fd.get(), mode) != 0 || write_all(fd.get(), (const char*)data, len) != 0 ||
        fsync(fd.get()) != 0)
        err = errno;
    if (fd.reset() != 0 && !err) err = errno;
    if (!err && rename(tmp, path) != 0) err = errno;
    if (err) {
        unlink(tmp);
        errno = err;
        return -1;
    }
    sync_dir_of(path);
    return 0;
}
