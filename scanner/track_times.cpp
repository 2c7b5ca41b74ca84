#include "track_times.h"

static int index_start(const CUETrack* t) { return t->index->minutes * 60 + t->index->seconds; }

TrackTimes track_times(const CUETrack* track, const CUETrack* next, int duration) {
    int start = index_start(track);
    int end = next ? index_start(next) : duration;
    TrackTimes r;
    // Four seconds off every track, measured from the real start.
    r.length = start < duration ? end - start - 4 : 0;
    r.startpos = start == 0 ? 1 : start;
    return r;
}
