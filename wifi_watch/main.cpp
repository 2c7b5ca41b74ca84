#include <unistd.h>

#include "shell.h"
#include "watch.h"
#include "wifi_watch_config.h"

int main() {
    const WatchOps ops = {run_shell, read_command, sleep};
    wifi_watch_start(ops, WW_LOG_PATH);
    for (;;) wifi_watch_pass(ops);
}
