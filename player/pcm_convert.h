// Conversion of decoded frames to interleaved signed 16-bit PCM at the
// frame's own rate and channel count, in pieces that fit a fixed buffer.
#pragma once

#include "ffmpeg_handles.h"

#include <cstddef>
#include <cstdint>

constexpr size_t PCM_BUFFER_SIZE = 576000;

class PcmConverter {
public:
    // Prepares for frames shaped like `frame`; keeps the converter while the
    // shape stays the same. Returns false when no converter can be made.
    bool prepare(const AVFrame* frame);
    // Converts samples [first, first + count) of `frame` into buf (room for
    // PCM_BUFFER_SIZE bytes); returns the bytes produced or -1.
    long convert(const AVFrame* frame, int first, int count, uint8_t* buf);
    // Samples per piece that fit the buffer for this frame's channel count.
    static int piece_samples(const AVFrame* frame);
    void reset();

private:
    SwrPtr swr_;
    int format_ = -1;
    int rate_ = 0;
    AVChannelLayout layout_{};
};

// True when the frame is already interleaved signed 16-bit.
inline bool is_pcm_s16(const AVFrame* f) { return f->format == AV_SAMPLE_FMT_S16; }
