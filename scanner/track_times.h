// Start and length of the tracks of one sheet, in whole seconds, as the
// disk list gives them.
#pragma once

#include "cue_sheet.h"

struct TrackTimes {
    int startpos;  // never 0: a track at 00:00 is written as 1
    int length;    // 0 where it can't be given; may be negative
};

// duration: the audio file's whole seconds (0 when unknown). next is the
// following track or nullptr for the last one; both have a first index.
TrackTimes track_times(const CUETrack* track, const CUETrack* next, int duration);
