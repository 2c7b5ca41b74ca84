// What the decoder keeps for the open song besides the two contexts in
// player_ctx: the packet and frame it reuses, the sample converter and the
// conversion buffer. Guarded by g_player_lock like the contexts.
#pragma once

#include "ffmpeg_handles.h"
#include "pcm_convert.h"
#include "read_bound.h"

struct SongMedia {
    PacketPtr packet;
    FramePtr frame;
    PcmConverter converter;
    // Installed on the format context while one is open.
    ReadBound bound;
    // Whether the open song has given the device any audio yet.
    bool wrote_audio = false;
    // Aligned for the 16-bit samples the converter writes.
    alignas(8) uint8_t pcm[PCM_BUFFER_SIZE];
};

SongMedia& song_media();
// Releases the packet, frame and converter (the buffer stays).
void release_song_media();
