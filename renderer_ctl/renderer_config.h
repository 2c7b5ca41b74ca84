// The box's fixed commands, option, addresses and sizes of the renderer watchdog.
#pragma once

#include <cstddef>

constexpr const char* RC_QUERY_RENDERER = "ps -w |grep velmar | grep -v grep";
constexpr const char* RC_QUERY_WWAN = "uci -P/var/state get network.wwan.ipaddr";
constexpr const char* RC_QUERY_LAN = "uci get network.lan.ipaddr";
constexpr const char* RC_QUERY_COUNT = "ps -w |grep friendly-name | grep -v grep|wc -l";
constexpr const char* RC_QUERY_AIRPLAY = "ps -w |grep pravik | grep -v grep";
constexpr const char* RC_RESTART_RENDERER = "gorlin";
constexpr const char* RC_RESTART_AIRPLAY = "quorin";

constexpr const char* RC_NAME_MARK = "friendly-name";
constexpr const char* RC_ADDRESS_MARK = "ip-address ";
constexpr const char* RC_LAN_OPTION = "network.lan.ipaddr";
constexpr const char* RC_DEFAULT_ADDRESS = "192.168.222.254";
// A start address shorter than this cannot be a dotted address.
constexpr size_t RC_MIN_ADDRESS = 7;
// The renderer with this many "friendly-name" processes is the one to keep.
constexpr long RC_RENDERER_COUNT = 2;

constexpr size_t RC_START_SIZE = 32;
constexpr size_t RC_CURRENT_SIZE = 20;
constexpr size_t RC_LINE_SIZE = 512;
constexpr size_t RC_PATH_SIZE = 64;

constexpr unsigned RC_PASS_PAUSE_S = 5;
