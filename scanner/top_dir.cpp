#include "top_dir.h"

#include <cerrno>
#include <cstring>

const char* TopDirWalk::next() {
    if (!dir_ || failed_) return nullptr;
    for (;;) {
        // readdir tells its end from an error only by errno.
        errno = 0;
        struct dirent* e = readdir(dir_.get());
        if (!e) {
            failed_ = errno != 0;
            return nullptr;
        }
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
        if (e->d_type != DT_REG) continue;
        return e->d_name;
    }
}
