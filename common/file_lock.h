// An exclusive lock on a lock file, held for as long as the descriptor is.
#pragma once

#include <sys/types.h>

#include "handles.h"

// Opens path (created with mode; a planted link is not followed) and takes
// an exclusive flock on it, waiting for it when wait is true. Empty when the
// file cannot be opened or, without waiting, another holder has it. Commands
// started meanwhile do not inherit the descriptor.
UniqueFd lock_file(const char* path, bool wait, mode_t mode);
