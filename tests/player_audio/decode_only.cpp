// Decodes the last audio stream of a song to nothing, with the decoder the
// player picks: what decoding alone costs, for bench/player_insns.sh.
//   decode_only FILE      prints "SECONDS SAMPLES" of audio decoded
#include "decoder_choice.h"
#include "ffmpeg_handles.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: decode_only FILE\n");
        return 2;
    }
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, argv[1], nullptr, nullptr) < 0) {
        fprintf(stderr, "decode_only: cannot open %s\n", argv[1]);
        return 1;
    }
    FormatPtr fmt(raw);
    if (avformat_find_stream_info(fmt.get(), nullptr) < 0) return 1;
    int index = -1;
    for (unsigned i = 0; i < fmt->nb_streams; i++)
        if (fmt->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) index = int(i);
    if (index < 0) return 1;
    const AVCodec* dec = find_song_decoder(fmt->streams[index]->codecpar->codec_id);
    CodecPtr codec(avcodec_alloc_context3(dec));
    if (!dec || !codec ||
        avcodec_parameters_to_context(codec.get(), fmt->streams[index]->codecpar) < 0 ||
        avcodec_open2(codec.get(), dec, nullptr) < 0) {
        fprintf(stderr, "decode_only: no decoder\n");
        return 1;
    }
    PacketPtr pkt(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    long long samples = 0;
    auto drain = [&] {
        while (avcodec_receive_frame(codec.get(), frame.get()) == 0) {
            samples += frame->nb_samples;
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(fmt.get(), pkt.get()) >= 0) {
        if (pkt->stream_index == index && avcodec_send_packet(codec.get(), pkt.get()) == 0) drain();
        av_packet_unref(pkt.get());
    }
    avcodec_send_packet(codec.get(), nullptr);
    drain();
    printf("%.3f %lld %s\n", double(samples) / codec->sample_rate, samples, dec->name);
    return 0;
}
