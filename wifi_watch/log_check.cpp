#include "regular_file.h"
#include "watch.h"
#include "wifi_watch_config.h"

#include <sys/stat.h>

void wifi_watch_log_check(const WatchOps& ops, const char* log_path) {
    // The log is appended to through the shell, which would block for ever
    // on a FIFO and write through a symbolic link: whatever stands there
    // that is not a plain file goes, and the MAC line starts a new log.
    struct stat at;
    if (lstat(log_path, &at) == 0 && !S_ISREG(at.st_mode)) {
        ops.run(WW_CMD_RM_LOG);
        ops.run(WW_CMD_MAC);
        return;
    }
    UniqueFile f = fopen_regular(log_path);
    if (!f) {
        ops.run(WW_CMD_MAC);
        return;
    }
    struct stat st;
    bool big = fstat(fileno(f.get()), &st) == 0 && st.st_size > WW_LOG_LIMIT;
    f.reset();
    if (!big) return;
    ops.run(WW_CMD_RM_LOG);
    ops.run(WW_CMD_MAC);
    ops.run(WW_CMD_SYNC);
}

void wifi_watch_start(const WatchOps& ops, const char* log_path) {
    ops.sleep(WW_START_PAUSE_S);
    wifi_watch_log_check(ops, log_path);
}
