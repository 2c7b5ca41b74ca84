// The box's fixed log path, commands and pauses of the Wi-Fi watchdog.
#pragma once

#define WW_LOG "/usr/mips/www/korvanta.log"

constexpr const char* WW_LOG_PATH = WW_LOG;
// Bigger than this, the log is started anew at the next start-up.
constexpr long WW_LOG_LIMIT = 65530;

constexpr const char* WW_CMD_MAC = "cfg get mac >>" WW_LOG;
constexpr const char* WW_CMD_RM_LOG = "rm -f " WW_LOG;
constexpr const char* WW_CMD_LOG_DOWN = "echo `date` wifi: down>>" WW_LOG;
constexpr const char* WW_CMD_LOG_UP = "echo `date` wifi: up>>" WW_LOG;
constexpr const char* WW_CMD_LOG_REBOOT = "echo `date` wifi: reboot>>" WW_LOG;
constexpr const char* WW_CMD_WIFI_UP = "wifi up";
constexpr const char* WW_CMD_SYNC = "sync";
constexpr const char* WW_CMD_REBOOT = "reboot -f";
constexpr const char* WW_QUERY_HOSTAPD = "ps | grep hostapd | grep -v grep";
// Bytes of the query's output looked at (the buffer holds one more).
constexpr unsigned WW_QUERY_BYTES = 127;

constexpr unsigned WW_START_PAUSE_S = 60;
constexpr unsigned WW_CHECK_PAUSE_S = 60;
constexpr unsigned WW_RETRY_PAUSE_S = 10;
// Re-checks after the first "wifi up" before giving up: six attempts in all.
constexpr int WW_RETRY_LIMIT = 5;

#undef WW_LOG
