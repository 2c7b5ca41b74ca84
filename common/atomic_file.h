// Whole-file replacement that readers and power cuts never see half done.
#pragma once

#include <cstddef>

// Writes data to a temporary file beside path, syncs it, renames it over
// path and syncs the directory. The file keeps the mode of the file it
// replaces (0644 for a new one). Returns 0, or -1 with errno set; on failure
// path is untouched and no temporary file is left behind.
int write_file_atomic(const char* path, const void* data, size_t len);
