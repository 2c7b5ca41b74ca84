// Bounds on what opening a song may read and hold. FFmpeg's own probe limits
// count only what a parser hands on: a file that never yields a frame (all
// zeros under a song's name) would otherwise be read, and held, whole while
// the parser searches for one.
#pragma once

#include <cstdint>

extern "C" {
#include <libavformat/avformat.h>
}

// The demuxer's header (tags, cover art, an index): bytes read by
// avformat_open_input.
constexpr int64_t HEADER_READ_LIMIT = 8 << 20;
// Bytes read while searching for the next frame of the song: during the
// stream-info probe, for the first packet and for every packet after it.
constexpr int64_t FRAME_READ_LIMIT = 1 << 20;
// Packets FFmpeg may buffer while it identifies a stream's codec.
constexpr int PROBE_PACKETS = 64;

// Refuses every read of a format context once it has read `limit` bytes
// more than when the limit was set: FFmpeg's read then fails as if
// interrupted (AVERROR_EXIT). The bound must outlive the context.
class ReadBound {
public:
    // Installs the bound as the interrupt callback of fmt (before opening).
    void attach(AVFormatContext* fmt);
    void detach() { fmt_ = nullptr; }
    // From now on, `bytes` more may be read.
    void allow(int64_t bytes);
    // Whether a read was refused since the last allow.
    bool hit() const { return hit_; }

private:
    static int check(void* self);
    AVFormatContext* fmt_ = nullptr;
    int64_t until_ = 0;
    bool hit_ = false;
};

// The format options of an opening: probe size and analysis duration as
// given, no frame-rate probe, few probe packets. 0, or a negative AVERROR.
int song_open_options(AVDictionary** opts, int64_t probe_bytes, int64_t analyze_us);
