// The watcher's state and one pass's decision.
#pragma once

#include "wan_system.h"

enum WanStateCode {
    WAN_IDLE = 0,
    WAN_SETTLED = 1,
    WAN_LINK_LOST = 2,
    WAN_LEASE_WAIT = 4,
};

struct WanState {
    int state = WAN_IDLE;
    int counter = 0;  // lease-wait passes; the address is checked when it is 5
    bool prev_link = false;
};

// Acts on this pass's link test and protocol, running the commands through
// sys; sock is this pass's socket for the address query.
void wan_step(WanState& st, bool link_now, const char* proto, WanSystem& sys, int sock);
