// The box's own daemons stopped through their init scripts before the kill
// list: under procd a killed daemon is back seconds later (and the watchdogs
// restart what the list kills), while an init script's stop ends it for good.
#pragma once

#include "fw_services.h"

constexpr const char* FW_INIT_DIR = "/etc/init.d";

// Runs "<init_dir>/NAME stop" for each of the five daemons whose script is
// there, watchdogs first, and after each waits (bounded) until no process
// of that name is left under `proc_root`; a box without the scripts runs
// nothing.
void stop_init_services(const FwHooks& hooks, const char* init_dir,
                        const char* proc_root = "/proc");
