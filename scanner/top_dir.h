// The walk that the count, the staleness check and the writer share: the
// disk's top directory in the order it yields its names, regular files only
// (directories, links and DT_UNKNOWN entries are passed over), no descent.
#pragma once

#include "handles.h"

class TopDirWalk {
public:
    explicit TopDirWalk(const char* dir) : dir_(opendir(dir)) {}
    bool opened() const { return (bool)dir_; }
    // The next regular file's name, or nullptr at the end or on an error.
    const char* next();
    // True when the directory could not be opened or a read of it failed:
    // the names seen are then only part of what it holds.
    bool failed() const { return !dir_ || failed_; }

private:
    UniqueDir dir_;
    bool failed_ = false;
};
