// The request body: its declared length and its bytes from standard input.
#pragma once

#include <cstddef>

// CONTENT_LENGTH as a plain positive decimal number no larger than limit:
// digits only, no sign, no blanks. 0 when missing or refused.
size_t parse_content_length(const char* text, size_t limit);

// Reads from fd until len bytes have arrived, the input ends, or no byte has
// come for idle_ms; signals neither end nor lengthen the wait. Never asks
// for more than len. Returns the number of bytes read.
size_t read_body(int fd, unsigned char* buf, size_t len, int idle_ms);
