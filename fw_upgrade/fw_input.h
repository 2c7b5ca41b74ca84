// The request body: its declared length and its bytes from standard input.
#pragma once

#include <cstddef>

// CONTENT_LENGTH as a plain positive decimal number no larger than limit:
// digits only, no sign, no blanks. 0 when missing or refused.
size_t parse_content_length(const char* text, size_t limit);

// Reads from fd until len bytes have arrived or the input ends, retrying
// reads that a signal interrupted; never asks for more than len. Returns the
// number of bytes read.
size_t read_body(int fd, unsigned char* buf, size_t len);
