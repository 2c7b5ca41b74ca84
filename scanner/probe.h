#pragma once

#include <cstdint>

// What opening and probing one file may read and hold, bounded before the
// file is opened. An APE file needs its header and seek table (its duration
// is known from these), its tag at the end and its first frame (about a
// megabyte at most); a tag with a large cover picture may use up the bound,
// and the duration stands all the same. A file that gives nothing usable
// within the bound costs no more than a few MB.
constexpr int64_t PROBE_READ_MAX = 2 << 20;
constexpr int64_t PROBE_SIZE = 1 << 20;
constexpr int64_t PROBE_DURATION_US = 1000000;
constexpr int64_t PROBE_PACKETS = 16;

// Duration of the audio file at path in whole seconds (truncated), 0 when
// it can't be opened, has no audio stream or no known duration.
int probe_duration(const char* path);
