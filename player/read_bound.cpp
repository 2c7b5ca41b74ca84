#include "read_bound.h"

static int64_t bytes_read(const AVFormatContext* fmt) {
    return fmt && fmt->pb ? fmt->pb->bytes_read : 0;
}

void ReadBound::attach(AVFormatContext* fmt) {
    fmt_ = fmt;
    hit_ = false;
    until_ = 0;
    fmt->interrupt_callback.callback = &ReadBound::check;
    fmt->interrupt_callback.opaque = this;
}

void ReadBound::allow(int64_t bytes) {
    until_ = bytes_read(fmt_) + bytes;
    hit_ = false;
}

// FFmpeg asks before every read from the file and at each probe step; the
// context's I/O exists only once the file is open (nothing read yet).
int ReadBound::check(void* self) {
    auto* b = static_cast<ReadBound*>(self);
    if (!b->fmt_ || !b->fmt_->pb) return 0;
    if (b->fmt_->pb->bytes_read < b->until_) return 0;
    b->hit_ = true;
    return 1;
}

int song_open_options(AVDictionary** opts, int64_t probe_bytes, int64_t analyze_us) {
    int r = av_dict_set_int(opts, "probesize", probe_bytes, 0);
    if (r >= 0) r = av_dict_set_int(opts, "analyzeduration", analyze_us, 0);
    if (r >= 0) r = av_dict_set_int(opts, "fpsprobesize", 0, 0);
    if (r >= 0) r = av_dict_set_int(opts, "max_probe_packets", PROBE_PACKETS, 0);
    return r;
}
