// udisk_scan: keeps the disk list ".udisklist" at the root of the USB disk
// current with the music files of the disk's top directory.
#pragma once

#include <cstddef>
#include <string>

constexpr const char* DISK_LIST_NAME = ".udisklist";
constexpr const char* LIST_OPENING = "{\"Playlist\":[";
constexpr const char* LIST_CLOSING = "]}";
// The player copies "url" into 1024 bytes: a longer one (after escaping)
// could not be played, so such a file is left out of the list.
constexpr size_t URL_MAX = 1023;
constexpr size_t MOUNT_DIR_SIZE = URL_MAX + 1;

// Result codes; the exit status is the low byte (255, 0, 1, 2).
enum ScanResult {
    SCAN_NO_DISK = -1,
    SCAN_NO_LIST = 0,
    SCAN_WRITTEN = 1,
    SCAN_CURRENT = 2,
};

struct DiskScan {
    char mount_dir[MOUNT_DIR_SIZE];  // the mount point followed by "/"
    int music_count;
};

// The whole run; mounts_path is "/proc/self/mounts" on the box.
int udisk_scan(const char* mounts_path);

// 1 when s.mount_dir was filled from the mounts table, else 0. A mount
// point cut off by the end of the text read is refused, as is one too long.
int find_mount_dir(const char* mounts_path, DiskScan& s);

std::string disk_list_path(const DiskScan& s);

// True when the "url" of the file name, escaped, fits URL_MAX.
bool url_fits(const DiskScan& s, const char* name);

// What the count and the staleness check take: a music name whose "url" fits.
bool is_listed_name(const DiskScan& s, const char* name);

// Music files in the top directory; 0 when it can't be opened.
int count_music_files(const DiskScan& s);

// True when the list at list_path still matches the music files
// (s.music_count must be current).
bool check_disk_list(const DiskScan& s, const char* list_path);

// Appends one entry per music file (one per track for an APE file with a
// sheet), each followed by a comma. Returns 1 when the directory could be
// read, else 0; *written counts the entries.
int write_list_entries(const DiskScan& s, std::string& text, int* written);

// The unfinished list text (opening and entries) in text. 1 when at least
// one entry was written, else 0.
int build_disk_list(DiskScan& s, std::string& text);

// Replaces the last comma of text with the closing and puts the text in
// place of the list in one step. 1 on success, else 0.
int finish_disk_list(const char* list_path, std::string& text);
