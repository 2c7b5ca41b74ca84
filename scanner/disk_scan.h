// udisk_scan: keeps the disk list ".udisklist" at the root of the USB disk
// current with the music files of the disk's top directory.
#pragma once

#include "atomic_stream.h"

#include <cstddef>
#include <string>

constexpr const char* DISK_LIST_NAME = ".udisklist";
constexpr const char* LIST_OPENING = "{\"Playlist\":[";
constexpr const char* LIST_CLOSING = "]}";
// The player copies "url" into 1024 bytes: a longer one (after escaping)
// could not be played, so such a file is left out of the list.
constexpr size_t URL_MAX = 1023;
constexpr size_t MOUNT_DIR_SIZE = URL_MAX + 1;
// An old list longer than this is stale without being read: even 10,000
// entries with long names take a small part of it, and reading it whole
// must not cost the box its memory.
constexpr size_t LIST_READ_MAX = 16u << 20;

// Result codes; the exit status is the low byte (255, 0, 1, 2).
enum ScanResult {
    SCAN_NO_DISK = -1,
    SCAN_NO_LIST = 0,
    SCAN_WRITTEN = 1,
    SCAN_CURRENT = 2,
};

struct DiskScan {
    char mount_dir[MOUNT_DIR_SIZE];  // the mount point followed by "/"
    char mount_esc[MOUNT_DIR_SIZE];  // the same as the list writes it
    size_t mount_esc_len;            // more than URL_MAX: no name fits
    // Music files found by the latest walk; -1 when the directory could not
    // be read whole, which tells nothing about what it holds.
    int music_count;
};

// A file name as the list writes it, escaped once for all its uses.
struct ListedName {
    char esc[URL_MAX + 1];
    size_t len;
};

// The whole run; mounts_path is "/proc/self/mounts" on the box.
int udisk_scan(const char* mounts_path);

// 1 when s.mount_dir (and s.mount_esc) was filled from the mounts table,
// else 0. A mount point cut off by the end of the text read is refused, as
// is one too long.
int find_mount_dir(const char* mounts_path, DiskScan& s);

std::string disk_list_path(const DiskScan& s);

// Escapes name into n; true when its "url" fits URL_MAX.
bool escape_name(const DiskScan& s, const char* name, ListedName& n);

// What the count and the staleness check take: a music name whose "url"
// fits (the name's escaped length computed once).
bool is_listed_name(const DiskScan& s, const char* name);

// Music files in the top directory; -1 when it can't be read whole.
int count_music_files(const DiskScan& s);

// Counts the music files into s.music_count and, in the same walk, tells
// whether the list at list_path still matches them. A list that is not a
// regular file, or cannot be read whole within LIST_READ_MAX, is stale.
bool check_disk_list(DiskScan& s, const char* list_path);

// Writes one entry per music file (one per track for an APE file with a
// sheet), each followed by a comma, to out as it is made. Returns 1 when
// the directory was read whole, else 0; *written counts the entries.
int write_list_entries(const DiskScan& s, FILE* out, int* written);

// Counts the music files again and, when there are any, writes the opening
// and the entries to a new temporary file beside list_path, held in out.
// 1 when at least one entry was written, else 0 (and nothing is left);
// s.music_count then tells whether the disk holds no music file (0).
int build_disk_list(DiskScan& s, const char* list_path, AtomicStream& out);

// Replaces the comma after the last entry with the closing and puts the
// file in place of the list in one step. 1 on success, else 0.
int finish_disk_list(AtomicStream& out);
