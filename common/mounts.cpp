#include "mounts.h"

#include "bounded.h"
#include "handles.h"

#include <cstring>

MountLookup find_usb_mount_in(const char* text, size_t len, char* out, size_t out_size) {
    if (out_size > 0) out[0] = '\0';
    if (len > MOUNTS_READ_MAX) len = MOUNTS_READ_MAX;
    const size_t plen = strlen(USB_MOUNT_PREFIX);
    const char* hit = nullptr;
    for (size_t i = 0; i + plen <= len; i++) {
        if (text[i] == '/' && memcmp(text + i, USB_MOUNT_PREFIX, plen) == 0) {
            hit = text + i;
            break;
        }
    }
    if (!hit) return MOUNT_NONE;
    size_t rest = len - (size_t)(hit - text);
    size_t n = 0;
    while (n < rest && hit[n] != ' ' && hit[n] != '\0') n++;
    if (!fits_bounded(out_size, n)) {
        if (out_size > 0) out[0] = '\0';
        return MOUNT_TOO_LONG;
    }
    copy_bounded_n(out, out_size, hit, n);
    return MOUNT_FOUND;
}

MountLookup find_usb_mount(const char* mounts_path, char* out, size_t out_size) {
    if (out_size > 0) out[0] = '\0';
    UniqueFile f(fopen(mounts_path, "r"));
    if (!f) return MOUNT_NO_TABLE;
    char buf[MOUNTS_READ_MAX + 1] = {0};
    size_t got = fread(buf, 1, MOUNTS_READ_MAX, f.get());
    return find_usb_mount_in(buf, got, out, out_size);
}
