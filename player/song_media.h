// Everything the decoder holds for the open song, owned here and nowhere
// else: the format and codec contexts (player_ctx only borrows them), the
// packet and frame it reuses, the sample converter and the conversion
// buffer. Guarded by g_player_lock.
#pragma once

#include "ffmpeg_handles.h"
#include "pcm_convert.h"
#include "player.h"
#include "read_bound.h"

struct SongMedia {
    // Installed on the format context while one is open. Declared before the
    // contexts so that it outlives them.
    ReadBound bound;
    FormatPtr format;
    // Freed before the format context it decodes from.
    CodecPtr codec;
    PacketPtr packet;
    FramePtr frame;
    PcmConverter converter;
    // The stream's sample number of the next decoded sample (-1: not known),
    // from the last packet's time stamp and the frames since; and after a
    // seek the first sample to play (-1: none). A demuxer seeks to the start
    // of a packet, which for Monkey's Audio can lie 27 s before the target.
    int64_t next_sample = -1;
    int64_t play_from = -1;
    // Whether the open song has given the device any audio yet.
    bool wrote_audio = false;
    // Aligned for the 16-bit samples the converter writes.
    alignas(8) uint8_t pcm[PCM_BUFFER_SIZE];
};

SongMedia& song_media() REQUIRES(g_player_lock);
// Closes the song: the codec, then the format context, the packet, frame and
// converter (the buffer stays); the bound lets go of the context.
void release_song_media() REQUIRES(g_player_lock);
