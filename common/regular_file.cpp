#include "regular_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

bool is_regular_file(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

UniqueFd open_regular(const char* path, int flags, mode_t mode) {
    UniqueFd fd(open(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode));
    struct stat st;
    if (!fd || fstat(fd.get(), &st) != 0) return UniqueFd();
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return UniqueFd();
    }
    int fl = fcntl(fd.get(), F_GETFL);
    if (fl >= 0) fcntl(fd.get(), F_SETFL, fl & ~O_NONBLOCK);
    return fd;
}

UniqueFile fopen_regular(const char* path) {
    UniqueFd fd = open_regular(path, O_RDONLY);
    if (!fd) return UniqueFile();
    FILE* f = fdopen(fd.get(), "r");
    if (!f) return UniqueFile();
    fd.release();
    return UniqueFile(f);
}
