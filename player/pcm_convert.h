// Conversion of decoded frames to interleaved signed 16-bit PCM at the
// frame's own rate and channel count, in pieces that fit a fixed buffer.
// Only the sample format changes: no resampling, no remixing. The samples are
// those FFmpeg's own converter gives: integers by shifting, floats scaled by
// 32768, rounded to nearest and clipped.
#pragma once

#include "ffmpeg_handles.h"

#include <cstddef>
#include <cstdint>

constexpr size_t PCM_BUFFER_SIZE = 576000;

class PcmConverter {
public:
    // Prepares for frames shaped like `frame`. Returns false when its sample
    // format (or channel count) is one this converter does not take.
    bool prepare(const AVFrame* frame);
    // Converts samples [first, first + count) of `frame` into buf (room for
    // PCM_BUFFER_SIZE bytes); returns the bytes produced or -1.
    long convert(const AVFrame* frame, int first, int count, uint8_t* buf);
    // Samples per piece that fit the buffer for this frame's channel count.
    static int piece_samples(const AVFrame* frame);
    void reset();

    // One run of samples: `count` per channel, from the planes (or the one
    // interleaved plane) starting at sample `first`, into `out` interleaved.
    using Run = void (*)(const uint8_t* const* planes, int channels, int first, int count,
                         int16_t* out);

private:
    Run run_ = nullptr;
    int format_ = -1;
    int channels_ = 0;
};

// True when the frame is already interleaved signed 16-bit.
inline bool is_pcm_s16(const AVFrame* f) { return f->format == AV_SAMPLE_FMT_S16; }
