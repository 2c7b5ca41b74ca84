// Reading the renderer's process line.
#pragma once

#include <cstddef>

// The address the renderer serves: the text after the first "ip-address "
// in line (len bytes, no terminator needed), up to the next blank, tab, line
// end or the end of line. Copied into out, cut to n - 1 bytes (n > 0).
// Returns false, out empty, when the line has no "ip-address ".
bool renderer_address(const char* line, size_t len, char* out, size_t n);
