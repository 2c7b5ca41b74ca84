// Waiting for a stopped daemon to be gone. Under procd an init script's stop
// only asks for the end (SIGTERM, SIGKILL after the term timeout) and
// returns: the daemon may still be at work, a watchdog restarting what the
// kill list is about to kill, the player writing its last state.
#pragma once

// procd's term timeout (5 s) and a second for its SIGKILL to land.
constexpr unsigned FW_STOP_WAIT_MS = 6000;
constexpr unsigned FW_STOP_POLL_MS = 100;

// Whether a live process (not a zombie) named `name` is under `proc_root`.
bool fw_process_runs(const char* proc_root, const char* name);
// Polls until no process named `name` runs; false when one still does after
// `max_ms`.
bool fw_wait_gone(const char* proc_root, const char* name, unsigned max_ms);
