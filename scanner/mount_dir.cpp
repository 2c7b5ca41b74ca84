#include "disk_scan.h"

#include "handles.h"
#include "json_text.h"
#include "mounts.h"

#include <cstring>

int find_mount_dir(const char* mounts_path, DiskScan& s) {
    memset(s.mount_dir, 0, sizeof s.mount_dir);
    s.mount_esc[0] = '\0';
    s.mount_esc_len = 0;
    UniqueFile f(fopen(mounts_path, "r"));
    if (!f) return 0;
    char text[MOUNTS_READ_MAX + 1] = {0};
    size_t got = fread(text, 1, MOUNTS_READ_MAX, f.get());
    char point[MOUNT_DIR_SIZE - 1];
    if (find_usb_mount_in(text, got, point, sizeof point) != MOUNT_FOUND) return 0;
    // The mount point must end at a space within the text read, else it
    // may be cut short and name another directory.
    const char* hit = (const char*)memmem(text, got, USB_MOUNT_PREFIX, strlen(USB_MOUNT_PREFIX));
    size_t n = strlen(point);
    if (!hit || (size_t)(hit - text) + n >= got || hit[n] != ' ') return 0;
    memcpy(s.mount_dir, point, n);
    s.mount_dir[n] = '/';
    s.mount_esc_len = json_escape(s.mount_dir, s.mount_esc, sizeof s.mount_esc);
    return 1;
}
