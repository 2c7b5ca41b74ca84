// Whether a daemon runs, told as the box's scripts tell it: "ps -w |grep NAME".
#pragma once

// Runs "ps -w |grep <name>" and reads at most 4095 bytes of its output. When
// a first blank-separated token came, prints "\n<name> pid=<token>\n" and
// returns true. No output, or a pipe that cannot be opened, gives false.
bool find_process(const char* name);
