// One upload at a time: uploads share the one staging file.
#pragma once

#include "handles.h"

// Opens (creating it, owner only) the lock file at path and takes an
// exclusive lock on it without waiting; a missing folder holding it is made
// (0755). Empty when another run holds it, or when the path cannot be opened
// (a planted link is not followed). The lock
// lasts as long as the descriptor; commands the run starts do not inherit it.
UniqueFd take_upload_lock(const char* path);
