#include "pcm_convert.h"

#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace {

// One sample to signed 16-bit, as FFmpeg's converter does it: integers keep
// their top bits, floats are scaled by 2^15, rounded to nearest (even on a
// tie) and clipped. A NaN, which no sound has, becomes silence.
inline int16_t from_u8(uint8_t x) { return int16_t((int(x) - 0x80) * 256); }
inline int16_t from_s16(int16_t x) { return x; }
inline int16_t from_s32(int32_t x) { return int16_t(x >> 16); }
inline int16_t from_flt(float x) {
    float v = x * 32768.0f;
    if (v >= 32767.0f) return 32767;
    if (v <= -32768.0f) return -32768;
    if (v != v) return 0;
    return int16_t(lrintf(v));
}
inline int16_t from_dbl(double x) {
    double v = x * 32768.0;
    if (v >= 32767.0) return 32767;
    if (v <= -32768.0) return -32768;
    if (v != v) return 0;
    return int16_t(lrint(v));
}

// Decoders align every plane for their own sample type, so the casts below
// read whole, aligned samples.
template <class T, int16_t (*Conv)(T)>
void run_interleaved(const uint8_t* const* planes, int channels, int first, int count,
                     int16_t* out) {
    const T* in = reinterpret_cast<const T*>(planes[0]) + size_t(first) * channels;
    const size_t n = size_t(count) * channels;
    for (size_t i = 0; i < n; i++) out[i] = Conv(in[i]);
}

template <class T, int16_t (*Conv)(T)>
void run_planar(const uint8_t* const* planes, int channels, int first, int count, int16_t* out) {
    for (int c = 0; c < channels; c++) {
        const T* in = reinterpret_cast<const T*>(planes[c]) + first;
        int16_t* o = out + c;
        for (int i = 0; i < count; i++, o += channels) *o = Conv(in[i]);
    }
}

void copy_s16(const uint8_t* const* planes, int channels, int first, int count, int16_t* out) {
    memcpy(out, planes[0] + size_t(first) * channels * 2, size_t(count) * channels * 2);
}

// The run for a sample format, or null for one this converter does not take
// (s64 and anything newer).
PcmConverter::Run run_for(int format) {
    switch (format) {
    case AV_SAMPLE_FMT_U8:
        return run_interleaved<uint8_t, from_u8>;
    case AV_SAMPLE_FMT_S16:
        return copy_s16;
    case AV_SAMPLE_FMT_S32:
        return run_interleaved<int32_t, from_s32>;
    case AV_SAMPLE_FMT_FLT:
        return run_interleaved<float, from_flt>;
    case AV_SAMPLE_FMT_DBL:
        return run_interleaved<double, from_dbl>;
    case AV_SAMPLE_FMT_U8P:
        return run_planar<uint8_t, from_u8>;
    case AV_SAMPLE_FMT_S16P:
        return run_planar<int16_t, from_s16>;
    case AV_SAMPLE_FMT_S32P:
        return run_planar<int32_t, from_s32>;
    case AV_SAMPLE_FMT_FLTP:
        return run_planar<float, from_flt>;
    case AV_SAMPLE_FMT_DBLP:
        return run_planar<double, from_dbl>;
    default:
        return nullptr;
    }
}

}  // namespace

void PcmConverter::reset() {
    run_ = nullptr;
    format_ = -1;
    channels_ = 0;
}

bool PcmConverter::prepare(const AVFrame* f) {
    const int ch = f->ch_layout.nb_channels;
    if (run_ && f->format == format_ && ch == channels_) return true;
    reset();
    Run run = run_for(f->format);
    if (!run || ch <= 0) return false;
    run_ = run;
    format_ = f->format;
    channels_ = ch;
    return true;
}

int PcmConverter::piece_samples(const AVFrame* f) {
    int ch = f->ch_layout.nb_channels > 0 ? f->ch_layout.nb_channels : 1;
    return int(PCM_BUFFER_SIZE / (size_t(ch) * 2));
}

long PcmConverter::convert(const AVFrame* f, int first, int count, uint8_t* buf) {
    // Only a frame of the prepared shape, and only samples it has.
    if (!run_ || f->format != format_ || f->ch_layout.nb_channels != channels_ || first < 0 ||
        count < 0 || count > piece_samples(f) || first > f->nb_samples - count)
        return -1;
    run_(f->extended_data, channels_, first, count, reinterpret_cast<int16_t*>(buf));
    return long(count) * channels_ * 2;
}
