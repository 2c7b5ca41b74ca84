// Opening files that come from a disk or a web edit, where a FIFO, a device
// or a directory may stand under an expected name and must not block us.
#pragma once

#include "handles.h"

#include <sys/types.h>

// True when path names a regular file (following links). Never blocks.
bool is_regular_file(const char* path);

// fopen(path, "r") that never blocks on a FIFO or device: the file is opened
// without blocking, its type checked, and only a regular file is handed back.
// Anything else gives an empty handle with errno EINVAL (ENOENT etc. as open
// reports them).
UniqueFile fopen_regular(const char* path);

// open(path, flags | O_CLOEXEC, mode) that never blocks on a FIFO or device
// and hands back only a regular file (else an empty handle, errno EINVAL).
UniqueFd open_regular(const char* path, int flags, mode_t mode = 0);
