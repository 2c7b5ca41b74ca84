// The Wi-Fi watchdog: keeps hostapd running, logs outages to the device log
// and reboots the box when six "wifi up" attempts do not bring it back.
#pragma once

#include "watch_ops.h"

// Start-up: the first minute's pause, then the log check.
void wifi_watch_start(const WatchOps& ops, const char* log_path);

// Starts the log with the MAC line when it is missing or unreadable; a log
// bigger than WW_LOG_LIMIT is removed and started anew, then synced.
// Anything at log_path that is not a regular file (a FIFO, a symbolic link,
// a device) is removed first, so the log is started as a plain file.
void wifi_watch_log_check(const WatchOps& ops, const char* log_path);

// Whether hostapd shows in the process list. A pipe that cannot be opened
// counts as running: no evidence is no reason to reboot.
bool wifi_watch_hostapd_running(const WatchOps& ops);

// One check of the main loop, with its recovery and the pause after it.
void wifi_watch_pass(const WatchOps& ops);
