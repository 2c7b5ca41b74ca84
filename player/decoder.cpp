#include "decoder.h"

#include "bounded.h"
#include "decoder_choice.h"
#include "dlog.h"
#include "playstate.h"
#include "regular_file.h"
#include "song_media.h"

#include <cinttypes>
#include <cstring>
#include <unistd.h>

static SongMedia s_media GUARDED_BY(g_player_lock);

SongMedia& song_media() { return s_media; }

void release_song_media() {
    s_media.codec.reset();
    s_media.format.reset();
    s_media.bound.detach();
    s_media.packet.reset();
    s_media.frame.reset();
    s_media.converter.reset();
    s_media.next_sample = -1;
    s_media.play_from = -1;
}

void close_decoder() {
    usleep(1000);
    player_ctx* ctx = g_player;
    ctx->codec_ctx = nullptr;
    ctx->fmt_ctx = nullptr;
    release_song_media();
}

void attempt_url(const char* url, int attempt, char* out, size_t size) {
    const char* mms = strstr(url, "mms");
    if (attempt == 0 || !mms || mms[3] != ':' || strlen(url) < 3) {
        copy_bounded(out, size, url);
        return;
    }
    static const char letters[] = "thu";
    char prefix[5] = {url[0], url[1], url[2], letters[(attempt - 1) % 3], 0};
    copy_bounded(out, size, prefix);
    size_t used = strlen(out);
    if (used < size) copy_bounded(out + used, size - used, url + 3);
}

const char* local_path_of(const char* url) {
    static const char file_scheme[] = "file:";
    if (strncmp(url, file_scheme, sizeof file_scheme - 1) == 0) return url + sizeof file_scheme - 1;
    // As FFmpeg tells a protocol: letters, digits, "+", "-" and "." before
    // the first ":".
    size_t n = strspn(url, "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-.");
    return n > 0 && url[n] == ':' ? nullptr : url;
}

static int last_audio_stream(const AVFormatContext* fmt) {
    int found = -1;
    for (unsigned i = 0; i < fmt->nb_streams; i++)
        if (fmt->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) found = int(i);
    return found;
}

namespace {
struct BoundRelease {
    ReadBound& bound;
    bool keep = false;
    ~BoundRelease() {
        if (!keep) bound.detach();
    }
};
}  // namespace

// One attempt; on success the contexts are in ctx and the stream's index is
// returned, else -1 and nothing stays open.
static int open_attempt(player_ctx* ctx, const char* name) REQUIRES(g_player_lock) {
    // A FIFO or device named like a song would block the open while the
    // engine holds the player lock: a local path opens only as a regular file.
    const char* local = local_path_of(name);
    if (local && !is_regular_file(local)) {
        dlog(" Can't open %s!\n", name);
        return -1;
    }
    // The bound outlives the context it watches: the context is closed
    // first (declared after), then the bound let go of it.
    ReadBound& bound = s_media.bound;
    BoundRelease release{bound};
    AVDictionary* opts = nullptr;
    AVFormatContext* raw = avformat_alloc_context();
    int opened = raw ? song_open_options(&opts, PROBE_SIZE, PROBE_DURATION_US) : AVERROR(ENOMEM);
    if (opened >= 0) {
        bound.attach(raw);
        bound.allow(HEADER_READ_LIMIT);
        opened = avformat_open_input(&raw, name, nullptr, &opts);  // frees raw on failure
    } else {
        avformat_free_context(raw);
    }
    av_dict_free(&opts);
    if (opened < 0) {
        dlog(" Can't open %s!\n", name);
        return -1;
    }
    FormatPtr fmt(raw);
    bound.allow(FRAME_READ_LIMIT);
    if (avformat_find_stream_info(fmt.get(), nullptr) < 0) {
        if (bound.hit())
            dlog("no frame within %lld bytes in %s\n", (long long)FRAME_READ_LIMIT, name);
        return -1;
    }
    av_dump_format(fmt.get(), 0, name, 0);

    int index = last_audio_stream(fmt.get());
    if (index < 0) {
        dlog("Didn't find a audio stream!\n");
        return -1;
    }
    AVStream* st = fmt->streams[index];
    const AVCodec* dec = find_song_decoder(st->codecpar->codec_id);
    if (!dec) {
        dlog("Didn't find a decoder for this audio stream!\n");
        return -1;
    }
    CodecPtr codec(avcodec_alloc_context3(dec));
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    if (!codec || !packet || !frame ||
        avcodec_parameters_to_context(codec.get(), st->codecpar) < 0) {
        dlog("Failed to open codec!\n");
        return -1;
    }
    codec->thread_count = 1;
    codec->pkt_timebase = st->time_base;
    // A stream without a rate or channels has no audio the device could be
    // set up for.
    if (avcodec_open2(codec.get(), dec, nullptr) < 0 || codec->sample_rate <= 0 ||
        codec->ch_layout.nb_channels <= 0) {
        dlog("Failed to open codec!\n");
        return -1;
    }
    s_media.wrote_audio = false;
    s_media.format = std::move(fmt);
    s_media.codec = std::move(codec);
    s_media.packet = std::move(packet);
    s_media.frame = std::move(frame);
    // The first frame is searched for within the same bound as every later one.
    bound.allow(FRAME_READ_LIMIT);
    release.keep = true;
    ctx->fmt_ctx = s_media.format.get();
    ctx->codec_ctx = s_media.codec.get();
    return index;
}

static void publish_length(player_ctx* ctx, const AVStream* st) REQUIRES(g_player_lock) {
    int64_t secs;
    if (st->duration == AV_NOPTS_VALUE) {
        dlog("\n%s:AV_NOPTS_VALUE\n\n", "open_song");
        secs = UNKNOWN_DURATION_SEC;
    } else {
        secs =
            int64_t(double(st->duration) * (double(st->time_base.num) / double(st->time_base.den)));
    }
    ctx->duration_us = secs * 1000000;
    char text[32];
    long long shown = __singlesong.length != 0 ? __singlesong.length : secs;
    snprintf(text, sizeof text, "%lld", shown);
    if (setxmlLength(text) != 0) setxmlLength(text);
    dlog("durationstr = %s  %lld\n", text, (long long)secs);
}

int open_song(const char* url) {
    player_ctx* ctx = g_player;
    char work[URL_SIZE];
    for (int attempt = 0; attempt < OPEN_ATTEMPTS; attempt++) {
        attempt_url(url, attempt, work, sizeof work);
        dlog(" enter %s!\n", "open_song");
        ctx->fmt_ctx = nullptr;
        ctx->codec_ctx = nullptr;
        ctx->stream_index = -1;
        int index = open_attempt(ctx, work);
        if (index < 0) continue;
        publish_length(ctx, ctx->fmt_ctx->streams[index]);
        ctx->stream_index = index;
        return 0;
    }
    dlog("error when av_init\n");
    return -1;
}
