// Arithmetic of the time stand-in, apart from the interposed calls so that
// it can be tested on its own.
#pragma once

#include <time.h>

// The factor named by a TIMEWARP value: a positive decimal number; anything
// else (unset, empty, zero, negative, trailing junk) means 1, no change.
double warp_factor(const char* text);

// ts multiplied by k (k > 0), saturating at the largest time_t.
struct timespec warp_scale(const struct timespec& ts, double k);
