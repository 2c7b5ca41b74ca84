// The watcher's main loop.
#pragma once

#include "wan_system.h"

#include <cstdio>

// Runs passes until sys.pause() returns false (never on the box). proto is
// the program's protocol buffer (WAN_PROTO_SIZE bytes, kept between passes).
// Returns 0, also after a socket failure, which prints "got the bug !" to out.
int wan_watch_run(WanSystem& sys, char* proto, FILE* out);
