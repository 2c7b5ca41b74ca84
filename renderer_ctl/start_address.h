// The address the renderer was meant to serve when the watchdog started.
#pragma once

#include <cstddef>

// Reads "network.lan.ipaddr" through UCI into start (size n); a failed
// lookup, or a value shorter than a dotted address, gives the box's default
// address.
void read_start_address(char* start, size_t n);
