#include "disk_scan.h"

#include "regular_file.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// Only a regular file is ever taken for the list, or removed as one: a
// FIFO, device or directory under that name is left alone.
void remove_list(const char* list_path) {
    if (is_regular_file(list_path)) unlink(list_path);
}

}  // namespace

std::string disk_list_path(const DiskScan& s) { return std::string(s.mount_dir) + DISK_LIST_NAME; }

int build_disk_list(DiskScan& s, const char* list_path, AtomicStream& out) {
    s.music_count = count_music_files(s);
    if (s.music_count <= 0) return 0;
    if (!out.open(list_path)) return 0;
    fputs(LIST_OPENING, out.file());
    int written = 0;
    if (!write_list_entries(s, out.file(), &written)) {
        out.discard();
        return 0;
    }
    // The music went between the count and this walk; finishing would eat
    // the "[".
    if (written == 0) {
        s.music_count = 0;
        out.discard();
        return 0;
    }
    return 1;
}

int finish_disk_list(AtomicStream& out) {
    FILE* f = out.file();
    // Entries end in a comma: it gives way to the closing.
    if (!f || ftell(f) <= (long)strlen(LIST_OPENING) || fseek(f, -1, SEEK_END) != 0 ||
        fputs(LIST_CLOSING, f) < 0 || out.commit() != 0) {
        out.discard();
        return 0;
    }
    sync();
    return 1;
}

int udisk_scan(const char* mounts_path) {
    DiskScan s;
    s.music_count = 0;
    if (!find_mount_dir(mounts_path, s)) return SCAN_NO_DISK;
    std::string list_path = disk_list_path(s);

    // Anything but a regular file under the list's name counts as no list:
    // opening a FIFO would block for ever.
    if (is_regular_file(list_path.c_str())) {
        bool current = check_disk_list(s, list_path.c_str());
        // A directory that could not be read whole may hold all the music
        // the list names.
        if (s.music_count < 0) return SCAN_NO_LIST;
        if (s.music_count == 0) {
            remove_list(list_path.c_str());
            return SCAN_NO_LIST;
        }
        if (current) return SCAN_CURRENT;
        // The stale list stays until the new one replaces it.
    }

    AtomicStream out;
    int result = build_disk_list(s, list_path.c_str(), out);
    if (result == SCAN_WRITTEN && !finish_disk_list(out)) result = SCAN_NO_LIST;
    // The list goes only with the last music file; after any other failure
    // (a directory read, a write, a full disk) the one there stays as it was.
    if (result == SCAN_NO_LIST && s.music_count == 0) remove_list(list_path.c_str());
    return result;
}
