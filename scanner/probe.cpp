#include "probe.h"

#include "ffmpeg_handles.h"
#include "probe_input.h"

#include <climits>

int probe_duration(const char* path) {
    // Declared first: the format context must be closed before its reader.
    BoundedInput in;
    if (!in.open(path, PROBE_READ_MAX)) return 0;
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw) return 0;
    raw->pb = in.io();
    raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    // Set before the open, so that the probing done inside it is bounded too.
    AVDictionary* opts = nullptr;
    av_dict_set_int(&opts, "probesize", PROBE_SIZE, 0);
    av_dict_set_int(&opts, "analyzeduration", PROBE_DURATION_US, 0);
    av_dict_set_int(&opts, "max_probe_packets", PROBE_PACKETS, 0);
    int opened = avformat_open_input(&raw, path, nullptr, &opts);  // frees raw on failure
    DictPtr left(opts);
    if (opened < 0) return 0;
    FormatPtr ctx(raw);
    if (avformat_find_stream_info(ctx.get(), nullptr) < 0) return 0;
    bool audio = false;
    for (unsigned i = 0; i < ctx->nb_streams; i++)
        if (ctx->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) audio = true;
    if (!audio) return 0;
    double seconds = (double)ctx->duration / 1000000.0;
    if (seconds <= 0) return 0;  // also AV_NOPTS_VALUE
    if (seconds >= (double)INT_MAX) return INT_MAX;
    return (int)seconds;
}
