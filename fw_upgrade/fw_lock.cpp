#include "fw_lock.h"

#include "file_lock.h"

UniqueFd take_upload_lock(const char* path) { return lock_file(path, false, 0600); }
