// A whole buffer written to a descriptor, across short writes and signals.
#pragma once

#include <cstddef>

// True when all len bytes went out. A failure leaves write()'s errno, EIO
// when it wrote nothing. Async-signal-safe: the fault handlers use it.
bool write_all(int fd, const void* data, size_t len);
