#include "fw_init_stop.h"

#include "fw_stop_wait.h"

#include <cstdio>
#include <unistd.h>

namespace {

// Watchdogs first, so that none of them restarts what is stopped after it.
constexpr const char* DAEMONS[] = {"wifi_watch", "renderer_ctl", "wifi_survey", "wan_watch",
                                   "dorvu"};

}  // namespace

void stop_init_services(const FwHooks& hooks, const char* init_dir, const char* proc_root) {
    for (const char* name : DAEMONS) {
        char script[256];
        int n = snprintf(script, sizeof script, "%s/%s", init_dir, name);
        if (n < 0 || static_cast<size_t>(n) >= sizeof script) continue;
        if (access(script, X_OK) != 0) continue;
        char cmd[272];
        snprintf(cmd, sizeof cmd, "%s stop", script);
        hooks.shell(cmd);
        // The stop does not wait for the end; the next daemon's stop and the
        // kill list do, so that nothing ending restarts what they kill.
        fw_wait_gone(proc_root, name, FW_STOP_WAIT_MS);
    }
}
