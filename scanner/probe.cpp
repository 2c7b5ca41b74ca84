#include "probe.h"

#include <climits>
#include <memory>

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

struct InputCloser {
    void operator()(AVFormatContext* ctx) const { avformat_close_input(&ctx); }
};
using UniqueInput = std::unique_ptr<AVFormatContext, InputCloser>;

}  // namespace

int probe_duration(const char* path) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path, nullptr, nullptr) < 0) return 0;
    UniqueInput ctx(raw);
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
