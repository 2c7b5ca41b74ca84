// Bounded string copies into fixed buffers.
#pragma once

#include <cstddef>

// Copies src into dst (size n > 0), cutting it to n - 1 bytes; dst is always
// terminated. Returns strlen(src), so a result >= n means the text was cut.
size_t copy_bounded(char* dst, size_t n, const char* src);

// As copy_bounded, but copies at most len bytes of src (which need not be
// terminated). Returns len.
size_t copy_bounded_n(char* dst, size_t n, const char* src, size_t len);

// True when src fits dst of size n without being cut.
inline bool fits_bounded(size_t n, size_t len) { return len < n; }
