// The four commands, on an open device stream. Each returns the exit status:
// 0, or 1 after a message on err when the device could not be read or written
// (or the entry is refused), so a failed write is never taken for a stored one.
#pragma once

#include <cstdio>

int nor_set(FILE* dev, const char* entry, FILE* err);
int nor_get(FILE* dev, const char* key, FILE* out, FILE* err);
int nor_reset(FILE* dev, FILE* err);
int nor_show(FILE* dev, FILE* out, FILE* err);
