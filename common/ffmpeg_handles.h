// Owners for FFmpeg's objects, shared by the player and the scanner. A
// header of its own: only the programs that link FFmpeg include it.
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/mem.h>
}

// FFmpeg's free functions take a pointer to the pointer (and clear it).
template <typename T, void (*Free)(T**)>
struct FfmpegFreer {
    void operator()(T* p) const { Free(&p); }
};
template <typename T, void (*Free)(T**)>
using FfmpegPtr = std::unique_ptr<T, FfmpegFreer<T, Free>>;

// A custom reader's context: FFmpeg may have replaced the buffer it was
// given, so the one it holds now is freed with it.
inline void free_io_context(AVIOContext** io) {
    if (*io) av_freep(&(*io)->buffer);
    avio_context_free(io);
}

using FormatPtr = FfmpegPtr<AVFormatContext, avformat_close_input>;
using CodecPtr = FfmpegPtr<AVCodecContext, avcodec_free_context>;
using PacketPtr = FfmpegPtr<AVPacket, av_packet_free>;
using FramePtr = FfmpegPtr<AVFrame, av_frame_free>;
using DictPtr = FfmpegPtr<AVDictionary, av_dict_free>;
using IoContextPtr = FfmpegPtr<AVIOContext, free_io_context>;
