// The disk list: the playlist file at the root of the first USB disk, read
// once when the player starts.
#pragma once

#include "player.h"

// Appended to the mount point to name the list file.
constexpr char DISK_LIST_NAME[] = "/.udisklist";
// Largest list text read, in bytes.
constexpr long DISK_LIST_MAX = 16L * 1024 * 1024;

// Reads the list of the first "/tmp/mnt/" mount named in mounts_path; returns
// a malloc'ed, NUL-terminated text (release with free), or null.
char* getudisklist_from(const char* mounts_path);

// getudisklist_from("/proc/self/mounts").
char* getudisklist();

// Stores getudisklist() into g_disk_list_text.
void scanudisklist() TAKES_LIST_LOCK;
