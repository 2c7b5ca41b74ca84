#pragma once

#include "poll.h"

#include <cstdint>
#include <string>
#include <vector>

extern std::vector<std::string> g_calls;
extern int32_t g_fake_state;
extern int32_t g_fake_position;
extern bool g_fake_stop_on_set_uri;

// The poll's operations as journaling fakes, with the given sleeper.
PollOps fake_poll_ops(void (*sleep_s)(unsigned));
