#include "decoder_choice.h"

namespace {

// Codecs for which FFmpeg has a fixed-point decoder beside a floating-point
// one that avcodec_find_decoder would pick first.
struct FixedDecoder {
    AVCodecID id;
    const char* name;
};
constexpr FixedDecoder FIXED_DECODERS[] = {
    {AV_CODEC_ID_MP3, "mp3"},       {AV_CODEC_ID_MP3ADU, "mp3adu"}, {AV_CODEC_ID_MP3ON4, "mp3on4"},
    {AV_CODEC_ID_AAC, "aac_fixed"}, {AV_CODEC_ID_AC3, "ac3_fixed"},
};

}  // namespace

const AVCodec* find_song_decoder(AVCodecID id) {
    for (const FixedDecoder& d : FIXED_DECODERS) {
        if (d.id != id) continue;
        const AVCodec* c = avcodec_find_decoder_by_name(d.name);
        // The name must still mean a decoder of this codec.
        if (c && c->id == id) return c;
        break;
    }
    return avcodec_find_decoder(id);
}
