// The CUE parser's memory: every block comes from one program-wide table of
// 1024 slots, so a run never holds more than 1024 parser blocks at once.
#pragma once

#include <cstddef>

constexpr size_t CUE_ALLOC_SLOTS = 1024;

// Takes the first free slot and a zero-filled block of size bytes; nullptr
// when the table is full, size is 0 or the system has no memory.
void* CUEAlloc(size_t size);

// Frees a block that the table holds and clears its slot; any other pointer
// (nullptr included) is left alone.
void CUERelease(void* p);

// Number of slots in use, for checks that nothing was left behind.
size_t CUEAllocInUse();
