#include "disk_scan.h"

#include "atomic_file.h"
#include "handles.h"

#include <cstdio>
#include <unistd.h>

std::string disk_list_path(const DiskScan& s) { return std::string(s.mount_dir) + DISK_LIST_NAME; }

int build_disk_list(DiskScan& s, std::string& text) {
    s.music_count = count_music_files(s);
    if (s.music_count == 0) return 0;
    text.assign(LIST_OPENING);
    int written = 0;
    if (!write_list_entries(s, text, &written)) return 0;
    // The directory changed since the count: finishing would eat the "[".
    return written > 0 ? 1 : 0;
}

int finish_disk_list(const char* list_path, std::string& text) {
    if (text.empty() || text.back() != ',') return 0;
    text.pop_back();
    text += LIST_CLOSING;
    // Readers and power cuts see the old list or the new one, never a part.
    if (write_file_atomic(list_path, text.data(), text.size()) != 0) return 0;
    sync();
    return 1;
}

int udisk_scan(const char* mounts_path) {
    DiskScan s;
    s.music_count = 0;
    if (!find_mount_dir(mounts_path, s)) return SCAN_NO_DISK;
    std::string list_path = disk_list_path(s);

    if (UniqueFile(fopen(list_path.c_str(), "r"))) {
        s.music_count = count_music_files(s);
        if (s.music_count == 0) {
            remove(list_path.c_str());
            return SCAN_NO_LIST;
        }
        if (check_disk_list(s, list_path.c_str())) return SCAN_CURRENT;
        // The stale list stays until the new one replaces it.
    }

    std::string text;
    int result = build_disk_list(s, text);
    if (result == SCAN_WRITTEN && !finish_disk_list(list_path.c_str(), text)) result = SCAN_NO_LIST;
    // No list could be made: a stale one must not stay behind.
    if (result == SCAN_NO_LIST) remove(list_path.c_str());
    return result;
}
