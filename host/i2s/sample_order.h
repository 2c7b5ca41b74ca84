// The device takes samples in the CPU's own byte order; a WAV file holds
// them little-endian. This turns what a big-endian writer hands the device
// into the file's order, sample by sample, even when a write ends inside a
// sample.
#pragma once

#include <cstddef>
#include <cstdint>

struct SampleCarry {
    uint8_t bytes[4];  // the start of a sample a write split
    unsigned have;
};

// True on a big-endian CPU.
bool cpu_is_big_endian();

// Appends the n bytes at in (after what carry holds) to out as whole
// samples of width bytes in reversed byte order; the bytes of an unfinished
// last sample stay in carry. width 1, or above 4, copies unchanged. out
// takes at least n + 3 bytes. Returns the bytes placed in out.
size_t reverse_samples(SampleCarry& carry, unsigned width, const uint8_t* in, size_t n,
                       uint8_t* out);
