// Whole-file replacement that readers and power cuts never see half done.
#pragma once

#include <cstddef>

// Options of write_file_atomic; 0 keeps the plain behaviour.
enum : unsigned {
    // The new file takes the old one's owner and group too (where the
    // process may set them), so other users keep their access.
    ATOMIC_KEEP_OWNER = 1u,
    // A symlink at path stays; the file it finally leads to is replaced.
    ATOMIC_FOLLOW_LINKS = 2u,
};

// Writes data to a temporary file "<name>.tmpXXXXXX" beside path, syncs it,
// renames it over path and syncs the directory. The file keeps the mode of
// the file it replaces (0644 for a new one). may_replace, when given, is
// asked right before the rename; false abandons the write (ECANCELED).
// Returns 0, or -1 with errno set; on failure path is untouched and no
// temporary file is left behind.
int write_file_atomic(const char* path, const void* data, size_t len, unsigned options = 0,
                      bool (*may_replace)() = nullptr);

// Syncs the folder holding path, so a rename into it survives a power cut.
void sync_dir_of(const char* path);

// The file path finally names, through any symlinks, in out (size n).
// Uses only readlink and plain byte copies, so a signal handler may call it.
// 0, or -1 when the result does not fit or the links loop.
int resolve_links(const char* path, char* out, size_t n);

// How a writer that cannot use mkostemp (a signal handler) names its
// temporary file: "<name>" ATOMIC_SIGNAL_MARK "<process number>".
constexpr char ATOMIC_SIGNAL_MARK[] = ".tmpsig";

// Removes the temporary files that an interrupted write left beside path,
// or beside its target with ATOMIC_FOLLOW_LINKS: "<name>.tmp" followed by
// six letters or digits, or "<name>" ATOMIC_SIGNAL_MARK and digits. Nothing
// else is touched. Returns how many were removed.
int remove_atomic_leftovers(const char* path, unsigned options = 0);
