// The USB disk's mount point, found as the player and the scanner both find it:
// the first "/tmp/mnt/" in the first 4096 bytes of the mounts table, up to the
// next space. Escapes in the table (such as "\040") are not decoded.
#pragma once

#include <cstddef>

constexpr size_t MOUNTS_READ_MAX = 4096;
constexpr const char* MOUNTS_PATH = "/proc/self/mounts";
constexpr const char* USB_MOUNT_PREFIX = "/tmp/mnt/";

enum MountLookup {
    MOUNT_FOUND = 0,
    MOUNT_NO_TABLE = -1,  // the mounts table could not be opened
    MOUNT_NONE = -2,      // no "/tmp/mnt/" in the part that is read
    MOUNT_TOO_LONG = -3,  // the mount point does not fit the caller's buffer
};

// Looks in text (len bytes, only the first MOUNTS_READ_MAX are considered).
MountLookup find_usb_mount_in(const char* text, size_t len, char* out, size_t out_size);

// Reads the table at mounts_path (MOUNTS_PATH on the box).
MountLookup find_usb_mount(const char* mounts_path, char* out, size_t out_size);
