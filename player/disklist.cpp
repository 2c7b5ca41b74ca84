#include "disklist.h"

#include "bounded.h"
#include "dlog.h"
#include "handles.h"
#include "mounts.h"
#include "player.h"
#include "player_lock.h"
#include "regular_file.h"

#include <cstdlib>
#include <cstring>

// The mount point may take what g_disk_list_path leaves after the name.
constexpr size_t MOUNT_POINT_SIZE = DISK_LIST_PATH_SIZE - (sizeof DISK_LIST_NAME - 1);

static bool find_list_path(const char* mounts_path) {
    char mount[MOUNT_POINT_SIZE];
    switch (find_usb_mount(mounts_path, mount, sizeof mount)) {
    case MOUNT_FOUND:
        break;
    case MOUNT_NO_TABLE:
        dlog("no found ssss path\n");
        dlog("scan usb failed!\n");
        return false;
    case MOUNT_NONE:
        dlog("no found udisk path\n");
        dlog("scan usb failed!\n");
        return false;
    case MOUNT_TOO_LONG:
        // The list's path would not fit: no disk list rather than a cut path.
        memset(g_disk_list_path, 0, sizeof g_disk_list_path);
        dlog("udisk path too long\n");
        dlog("scan usb failed!\n");
        return false;
    }
    memset(g_disk_list_path, 0, sizeof g_disk_list_path);
    size_t n = copy_bounded(g_disk_list_path, sizeof g_disk_list_path, mount);
    dlog("get path %s\n", g_disk_list_path);
    copy_bounded(g_disk_list_path + n, sizeof g_disk_list_path - n, DISK_LIST_NAME);
    return true;
}

char* getudisklist_from(const char* mounts_path) {
    dlog("====%s ENTER====\n", "getudisklist");
    dlog("====%s ENTER====\n", "Check_hotplug_disk");
    if (!find_list_path(mounts_path)) return nullptr;

    // A FIFO under the list's name must not hold the start-up.
    UniqueFile f(fopen_regular(g_disk_list_path));
    if (!f) {
        dlog("get usb file failed!\n");
        return nullptr;
    }
    long size = -1;
    if (fseek(f.get(), 0, SEEK_END) == 0) size = ftell(f.get());
    // Far above any list the scanner writes; a larger one is not read.
    if (size < 0 || size > DISK_LIST_MAX || fseek(f.get(), 0, SEEK_SET) != 0) {
        dlog("read usb list failed!\n");
        return nullptr;
    }
    char* text = (char*)calloc((size_t)size + 2, 1);
    if (!text) {
        dlog("alloc space failed!\n");
        return nullptr;
    }
    if (fread(text, 1, (size_t)size, f.get()) != (size_t)size) {
        dlog("read usb list failed!\n");
        free(text);
        return nullptr;
    }
    return text;
}

char* getudisklist() { return getudisklist_from(MOUNTS_PATH); }

void scanudisklist() {
    dlog("====%s ENTER====\n", "scanudisklist");
    char* text = getudisklist();
    char* old;
    {
        // The poll thread may be parsing the list already (a slow disk can
        // take longer than its first pause).
        MutexHold list(&s_list_lock);
        old = g_disk_list_text;
        g_disk_list_text = text;
    }
    free(old);
}
