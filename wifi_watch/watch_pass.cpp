#include "watch.h"
#include "wifi_watch_config.h"

bool wifi_watch_hostapd_running(const WatchOps& ops) {
    char out[WW_QUERY_BYTES + 1];
    return ops.read(WW_QUERY_HOSTAPD, out, sizeof out) != 0;
}

namespace {

void attempt(const WatchOps& ops) {
    ops.run(WW_CMD_LOG_DOWN);
    ops.run(WW_CMD_WIFI_UP);
    ops.sleep(WW_RETRY_PAUSE_S);
}

void recover(const WatchOps& ops) {
    attempt(ops);
    for (int retries = 0;;) {
        if (wifi_watch_hostapd_running(ops)) {
            ops.run(WW_CMD_LOG_UP);
            ops.run(WW_CMD_SYNC);
            ops.run(WW_CMD_SYNC);
            return;
        }
        attempt(ops);
        if (++retries >= WW_RETRY_LIMIT) break;
    }
    ops.run(WW_CMD_LOG_REBOOT);
    ops.run(WW_CMD_SYNC);
    ops.run(WW_CMD_REBOOT);
    // Only a reboot that did not happen comes back here.
    ops.run(WW_CMD_SYNC);
    ops.run(WW_CMD_SYNC);
}

}  // namespace

void wifi_watch_pass(const WatchOps& ops) {
    if (!wifi_watch_hostapd_running(ops)) recover(ops);
    ops.sleep(WW_CHECK_PAUSE_S);
}
