// The renderer and AirPlay watchdog: keeps velmar running with the box's
// current address and pravik running, restarting them through "gorlin" and
// "quorin".
#pragma once

#include "renderer_ops.h"

enum RendererPassResult { RC_GO_ON, RC_NO_ADDRESS };

// One pass, with its pause. RC_NO_ADDRESS: neither address query printed a
// line, and the watchdog ends. start is the address read at start-up.
RendererPassResult renderer_pass(const RendererOps& ops, const char* start);
