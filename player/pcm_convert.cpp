#include "pcm_convert.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
}

// Decoders may leave the layout unspecified; swresample wants a named one.
static void layout_of(const AVFrame* f, AVChannelLayout* out) {
    if (f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(out, f->ch_layout.nb_channels);
    else
        av_channel_layout_copy(out, &f->ch_layout);
}

void PcmConverter::reset() {
    swr_.reset();
    av_channel_layout_uninit(&layout_);
    format_ = -1;
    rate_ = 0;
}

bool PcmConverter::prepare(const AVFrame* f) {
    if (swr_ && f->format == format_ && f->sample_rate == rate_ &&
        av_channel_layout_compare(&f->ch_layout, &layout_) == 0)
        return true;
    reset();
    AVChannelLayout layout{};
    layout_of(f, &layout);
    SwrContext* s = nullptr;
    // Same layout and rate on both sides: a format change and interleaving
    // only, no remix, no resampling.
    int r = swr_alloc_set_opts2(&s, &layout, AV_SAMPLE_FMT_S16, f->sample_rate, &layout,
                                AVSampleFormat(f->format), f->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&layout);
    if (r < 0 || !s) return false;
    swr_.reset(s);
    if (swr_init(s) < 0) {
        swr_.reset();
        return false;
    }
    format_ = f->format;
    rate_ = f->sample_rate;
    av_channel_layout_copy(&layout_, &f->ch_layout);
    return true;
}

int PcmConverter::piece_samples(const AVFrame* f) {
    int ch = f->ch_layout.nb_channels > 0 ? f->ch_layout.nb_channels : 1;
    return int(PCM_BUFFER_SIZE / (size_t(ch) * 2));
}

long PcmConverter::convert(const AVFrame* f, int first, int count, uint8_t* buf) {
    if (!swr_ || count > piece_samples(f)) return -1;
    int ch = f->ch_layout.nb_channels;
    int bps = av_get_bytes_per_sample(AVSampleFormat(f->format));
    const uint8_t* in[AV_NUM_DATA_POINTERS * 8];
    int planes = av_sample_fmt_is_planar(AVSampleFormat(f->format)) ? ch : 1;
    if (planes > int(sizeof in / sizeof in[0])) return -1;
    size_t step = size_t(first) * bps * (planes == 1 ? ch : 1);
    for (int p = 0; p < planes; p++) in[p] = f->extended_data[p] + step;
    uint8_t* out[1] = {buf};
    int n = swr_convert(swr_.get(), out, count, in, count);
    if (n < 0) return -1;
    return long(n) * ch * 2;
}
