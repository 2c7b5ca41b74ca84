// Where the supervisor and its commands meet (PROCD_SOCKET overrides the
// socket, for a second supervisor beside the box's own).
#pragma once

constexpr const char* PROCD_SOCKET = "/var/run/procd.sock";
constexpr const char* PROCD_PIDFILE = "/var/run/procd.pid";
constexpr const char* PROCD_T0 = "/var/run/procd.t0";
constexpr const char* PROCD_TRACE = "/var/log/procd.log";
constexpr unsigned LOG_RING_KIB = 64;  // logd's usual log_size
constexpr unsigned REQUEST_MAX = 16384;

const char* socket_path();
