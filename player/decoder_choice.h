// Which FFmpeg decoder plays a stream.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

// The fixed-point decoder of the codec when the library holds one, else
// FFmpeg's default decoder for it (null when there is none). The box's CPU
// has no FPU: a floating-point decoder costs it about ten times as much, and
// choosing the same decoder on every machine gives the same samples.
const AVCodec* find_song_decoder(AVCodecID id);
