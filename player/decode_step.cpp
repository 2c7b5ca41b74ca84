// The decode step: one decoded frame of the chosen stream per engine cycle
// (a new packet read when the decoder has none), converted to interleaved
// signed 16-bit and written to the device. A packet may hold many frames
// (Monkey's Audio: up to 27 s of audio); taking them one a cycle gives the
// lock up between them and moves the position, which the entry-length rule
// and the play-state file follow, as the song plays.
#include "decoder.h"

#include "dlog.h"
#include "i2s.h"
#include "player_lock.h"
#include "song_media.h"

#include <cstdio>

extern "C" {
#include <libavutil/time.h>
}

namespace {

struct PacketUnref {
    AVPacket* p;
    ~PacketUnref() { av_packet_unref(p); }
};

enum StepResult { STEP_GO_ON = 0, STEP_DROP = 1, STEP_FAILED = -1 };

// Writes all of data unless the state leaves STATE_PLAYING (the rest is
// dropped); the device may take it in parts.
StepResult write_all(player_ctx* ctx, const uint8_t* data, size_t size) REQUIRES(g_player_lock) {
    while (size > 0 && ctx->state == STATE_PLAYING) {
        long n = i2s_write(data, size);
        // A device that takes nothing would hold this loop, and the lock
        // with it, for ever: as a failed write.
        if (n <= 0) {
            dlog("write error!\n");
            return STEP_FAILED;
        }
        song_media().wrote_audio = true;
        data += n;
        size -= size_t(n);
    }
    return STEP_GO_ON;
}

// The whole-second position of the frame about to play, from the sample
// count, and how many of its first samples lie before a seek's target.
int frame_start(player_ctx* ctx, const AVFrame* f) REQUIRES(g_player_lock) {
    SongMedia& m = song_media();
    if (m.next_sample < 0) return 0;
    int64_t first = m.next_sample;
    m.next_sample += f->nb_samples;
    if (ctx->codec_ctx->sample_rate > 0)
        ctx->position_us = first / ctx->codec_ctx->sample_rate * 1000000;
    if (m.play_from <= first) {
        m.play_from = -1;
        return 0;
    }
    return m.play_from - first < f->nb_samples ? int(m.play_from - first) : f->nb_samples;
}

StepResult output_frame(player_ctx* ctx, const AVFrame* f) REQUIRES(g_player_lock) {
    const int skip = frame_start(ctx, f);
    if (skip >= f->nb_samples) return STEP_GO_ON;
    if (is_pcm_s16(f)) {
        const size_t sample_bytes = size_t(f->ch_layout.nb_channels) * 2;
        return write_all(ctx, f->data[0] + size_t(skip) * sample_bytes,
                         size_t(f->nb_samples - skip) * sample_bytes);
    }
    SongMedia& m = song_media();
    if (!m.converter.prepare(f)) {
        printf("Cannot convert %s sample format to %s sample format\n",
               av_get_sample_fmt_name(AVSampleFormat(f->format)),
               av_get_sample_fmt_name(AV_SAMPLE_FMT_S16));
        return STEP_DROP;
    }
    const int piece = PcmConverter::piece_samples(f);
    for (int first = skip; first < f->nb_samples && ctx->state == STATE_PLAYING; first += piece) {
        int count = f->nb_samples - first < piece ? f->nb_samples - first : piece;
        long bytes = m.converter.convert(f, first, count, m.pcm);
        if (bytes < 0) {
            printf("av_audio_convert() failed\n");
            return STEP_DROP;
        }
        StepResult r = write_all(ctx, m.pcm, size_t(bytes));
        if (r != STEP_GO_ON) return r;
    }
    return STEP_GO_ON;
}

enum FrameResult { FRAME_PLAYED, FRAME_NONE, FRAME_FAILED };

// Takes one frame the decoder has ready and writes it. FRAME_NONE: the
// decoder wants a packet (or failed on the last one).
FrameResult play_frame(player_ctx* ctx) REQUIRES(g_player_lock) {
    AVFrame* frame = song_media().frame.get();
    int r = avcodec_receive_frame(ctx->codec_ctx, frame);
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return FRAME_NONE;
    if (r < 0) {
        printf("==== decode error!\n");
        return FRAME_NONE;
    }
    StepResult w = output_frame(ctx, frame);
    av_frame_unref(frame);
    return w == STEP_FAILED ? FRAME_FAILED : FRAME_PLAYED;
}

void update_position(player_ctx* ctx, const AVPacket* pkt) REQUIRES(g_player_lock) {
    SongMedia& m = song_media();
    m.next_sample = -1;
    if (pkt->pts != AV_NOPTS_VALUE) {
        AVRational tb = ctx->fmt_ctx->streams[ctx->stream_index]->time_base;
        int64_t secs = int64_t(double(pkt->pts) * (double(tb.num) / double(tb.den)));
        ctx->position_us = secs * 1000000;
        if (ctx->codec_ctx->sample_rate > 0)
            m.next_sample = av_rescale_q(pkt->pts, tb, AVRational{1, ctx->codec_ctx->sample_rate});
    } else {
        dlog("\n%s:AV_NOPTS_VALUE\n\n", "dorvu_dec_loop");
        ctx->position_us = av_gettime() - ctx->start_time_us;
    }
}

// The input has ended: what the decoder still holds is played out too.
void play_out(player_ctx* ctx) REQUIRES(g_player_lock) {
    if (avcodec_send_packet(ctx->codec_ctx, nullptr) != 0) return;
    while (ctx->state == STATE_PLAYING && play_frame(ctx) == FRAME_PLAYED) {
    }
}

}  // namespace

int dorvu_dec_loop(player_ctx* ctx, int32_t state) {
    if (state != STATE_PLAYING) return 0;
    MutexHold lock(&g_player_lock);
    if (ctx->state != STATE_PLAYING) return 0;
    if (!ctx->fmt_ctx || !ctx->codec_ctx) {
        dlog("%s:frame = NULL\n", "dorvu_dec_loop");
        return -1;
    }
    // Frames of the last packet first; a packet only when there are none.
    switch (play_frame(ctx)) {
    case FRAME_PLAYED:
        return 0;
    case FRAME_FAILED:
        return -1;
    case FRAME_NONE:
        break;
    }
    AVPacket* pkt = song_media().packet.get();
    PacketUnref unref{pkt};
    ReadBound& bound = song_media().bound;
    for (;;) {
        if (av_read_frame(ctx->fmt_ctx, pkt) < 0) {
            dlog("Didn't find audio stream!\n");
            if (bound.hit()) dlog("no frame within %lld bytes\n", (long long)FRAME_READ_LIMIT);
            av_packet_unref(pkt);
            play_out(ctx);
            return -1;
        }
        if (pkt->stream_index == ctx->stream_index) break;
        av_packet_unref(pkt);
    }
    bound.allow(FRAME_READ_LIMIT);
    update_position(ctx, pkt);
    if (avcodec_send_packet(ctx->codec_ctx, pkt) < 0) {
        printf("==== decode error!\n");
        return 0;
    }
    return play_frame(ctx) == FRAME_FAILED ? -1 : 0;
}
