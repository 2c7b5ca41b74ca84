#include "top_dir.h"

#include <cstring>

const char* TopDirWalk::next() {
    if (!dir_) return nullptr;
    while (struct dirent* e = readdir(dir_.get())) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
        if (e->d_type != DT_REG) continue;
        return e->d_name;
    }
    return nullptr;
}
