// The sample converter on frames made here: the value each format's samples
// take in signed 16-bit, clipping, interleaving of planar frames with any
// channel count, pieces of a frame, and the formats and calls it refuses.
#include "pcm_convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

namespace {

// A frame of `samples` samples per channel, filled by fill(channel, index).
template <class T, class Fill>
FramePtr make_frame(AVSampleFormat format, int channels, int samples, Fill fill) {
    FramePtr f(av_frame_alloc());
    f->format = format;
    f->nb_samples = samples;
    f->sample_rate = 44100;
    av_channel_layout_default(&f->ch_layout, channels);
    if (av_frame_get_buffer(f.get(), 0) < 0) return nullptr;
    const bool planar = av_sample_fmt_is_planar(format);
    for (int c = 0; c < channels; c++)
        for (int i = 0; i < samples; i++) {
            T* at = planar ? reinterpret_cast<T*>(f->extended_data[c]) + i
                           : reinterpret_cast<T*>(f->extended_data[0]) + size_t(i) * channels + c;
            *at = fill(c, i);
        }
    return f;
}

// Converts the whole frame; the samples, or an empty vector on failure.
std::vector<int16_t> convert_all(const AVFrame* f) {
    PcmConverter conv;
    static uint8_t buf[PCM_BUFFER_SIZE];
    if (!conv.prepare(f)) return {};
    long bytes = conv.convert(f, 0, f->nb_samples, buf);
    if (bytes != long(f->nb_samples) * f->ch_layout.nb_channels * 2) return {};
    std::vector<int16_t> out(size_t(bytes) / 2);
    memcpy(out.data(), buf, size_t(bytes));
    return out;
}

// Each input value and the sample FFmpeg's converter makes of it, in both the
// interleaved and the planar form of the format, mono.
template <class T>
void expect_values(AVSampleFormat packed, const std::vector<std::pair<T, int16_t>>& table) {
    for (AVSampleFormat format : {packed, av_get_planar_sample_fmt(packed)}) {
        SCOPED_TRACE(av_get_sample_fmt_name(format));
        FramePtr f = make_frame<T>(format, 1, int(table.size()),
                                   [&](int, int i) { return table[size_t(i)].first; });
        ASSERT_TRUE(f);
        std::vector<int16_t> got = convert_all(f.get());
        ASSERT_EQ(got.size(), table.size());
        for (size_t i = 0; i < table.size(); i++)
            EXPECT_EQ(got[i], table[i].second) << "input " << double(table[i].first);
    }
}

TEST(PcmConvert, IntegerSamplesKeepTheirTopBits) {
    expect_values<uint8_t>(
        AV_SAMPLE_FMT_U8,
        {{0, -32768}, {1, -32512}, {0x7f, -256}, {0x80, 0}, {0x81, 256}, {0xff, 32512}});
    expect_values<int16_t>(AV_SAMPLE_FMT_S16, {{-32768, -32768}, {-1, -1}, {0, 0}, {32767, 32767}});
    expect_values<int32_t>(AV_SAMPLE_FMT_S32, {{std::numeric_limits<int32_t>::min(), -32768},
                                               {std::numeric_limits<int32_t>::max(), 32767},
                                               {0xffff, 0},
                                               {0x10000, 1},
                                               {0x1ffff, 1},
                                               {-1, -1},
                                               {-0x10000, -1},
                                               {-0x10001, -2}});
}

// Scaled by 32768, rounded to nearest with ties to even, clipped; NaN is
// silence.
template <class T>
std::vector<std::pair<T, int16_t>> float_table() {
    const T lsb = T(1) / 32768;
    return {{T(0), 0},
            {T(0.5), 16384},
            {T(-0.5), -16384},
            {lsb / 2, 0},
            {lsb * T(1.5), 2},
            {lsb * T(2.5), 2},
            {-lsb * T(1.5), -2},
            {lsb * T(0.51), 1},
            {T(-1), -32768},
            {T(32767) / 32768, 32767},
            {T(32767.4) / 32768, 32767},
            {T(32767.6) / 32768, 32767},
            {T(-32768.4) / 32768, -32768},
            {T(-32768.6) / 32768, -32768},
            {T(1), 32767},
            {T(1.5), 32767},
            {T(-1.5), -32768},
            {T(1e30), 32767},
            {T(-1e30), -32768},
            {std::numeric_limits<T>::infinity(), 32767},
            {-std::numeric_limits<T>::infinity(), -32768},
            {std::numeric_limits<T>::quiet_NaN(), 0}};
}

TEST(PcmConvert, FloatSamplesAreScaledRoundedAndClipped) {
    expect_values<float>(AV_SAMPLE_FMT_FLT, float_table<float>());
    expect_values<double>(AV_SAMPLE_FMT_DBL, float_table<double>());
}

// Every channel's samples land in its own slot of the interleaved output,
// whether the frame is planar or not, for odd channel counts too.
TEST(PcmConvert, ChannelsInterleaveInOrder) {
    for (int channels : {1, 2, 3, 5, 7}) {
        for (AVSampleFormat format :
             {AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S16P, AV_SAMPLE_FMT_S32, AV_SAMPLE_FMT_S32P,
              AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_DBLP, AV_SAMPLE_FMT_U8P}) {
            SCOPED_TRACE(std::string(av_get_sample_fmt_name(format)) + " x" +
                         std::to_string(channels));
            // Sample i of channel c is worth (c * 37 + i) steps of 256.
            const int samples = 33;
            auto value = [](int c, int i) { return (c * 37 + i) % 100 - 50; };
            FramePtr f;
            switch (av_get_packed_sample_fmt(format)) {
            case AV_SAMPLE_FMT_S16:
                f = make_frame<int16_t>(format, channels, samples,
                                        [&](int c, int i) { return int16_t(value(c, i) * 256); });
                break;
            case AV_SAMPLE_FMT_S32:
                f = make_frame<int32_t>(format, channels, samples, [&](int c, int i) {
                    return int32_t(value(c, i) * (1 << 24));
                });
                break;
            case AV_SAMPLE_FMT_FLT:
                f = make_frame<float>(format, channels, samples,
                                      [&](int c, int i) { return float(value(c, i)) / 128; });
                break;
            case AV_SAMPLE_FMT_DBL:
                f = make_frame<double>(format, channels, samples,
                                       [&](int c, int i) { return double(value(c, i)) / 128; });
                break;
            default:
                f = make_frame<uint8_t>(format, channels, samples,
                                        [&](int c, int i) { return uint8_t(value(c, i) + 128); });
            }
            ASSERT_TRUE(f);
            std::vector<int16_t> got = convert_all(f.get());
            ASSERT_EQ(got.size(), size_t(samples) * channels);
            for (int i = 0; i < samples; i++)
                for (int c = 0; c < channels; c++)
                    ASSERT_EQ(got[size_t(i) * channels + c], value(c, i) * 256)
                        << "sample " << i << " channel " << c;
        }
    }
}

// A frame converted piece by piece gives what it gives whole.
TEST(PcmConvert, PiecesJoinToTheWholeFrame) {
    for (AVSampleFormat format : {AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_FLTP}) {
        SCOPED_TRACE(av_get_sample_fmt_name(format));
        FramePtr f = make_frame<float>(format, 3, 1000,
                                       [](int c, int i) { return float(sin(i * 0.01 + c)); });
        ASSERT_TRUE(f);
        std::vector<int16_t> whole = convert_all(f.get());
        ASSERT_EQ(whole.size(), 3000u);
        PcmConverter conv;
        ASSERT_TRUE(conv.prepare(f.get()));
        static uint8_t buf[PCM_BUFFER_SIZE];
        std::vector<int16_t> joined;
        for (int first = 0; first < 1000; first += 333) {
            int count = std::min(333, 1000 - first);
            ASSERT_EQ(conv.convert(f.get(), first, count, buf), long(count) * 3 * 2);
            const int16_t* s = reinterpret_cast<const int16_t*>(buf);
            joined.insert(joined.end(), s, s + size_t(count) * 3);
        }
        EXPECT_EQ(joined, whole);
    }
}

TEST(PcmConvert, RefusesWhatItCannotConvert) {
    PcmConverter conv;
    static uint8_t buf[PCM_BUFFER_SIZE];
    // 64-bit integer samples are not among the decoders' formats here.
    FramePtr s64 = make_frame<int64_t>(AV_SAMPLE_FMT_S64, 2, 10, [](int, int) { return 0; });
    ASSERT_TRUE(s64);
    EXPECT_FALSE(conv.prepare(s64.get()));
    EXPECT_EQ(conv.convert(s64.get(), 0, 10, buf), -1);

    FramePtr f = make_frame<float>(AV_SAMPLE_FMT_FLTP, 2, 10, [](int, int) { return 0.f; });
    ASSERT_TRUE(f);
    EXPECT_EQ(conv.convert(f.get(), 0, 10, buf), -1);  // not prepared
    ASSERT_TRUE(conv.prepare(f.get()));
    // Samples the frame does not have.
    EXPECT_EQ(conv.convert(f.get(), 0, 11, buf), -1);
    EXPECT_EQ(conv.convert(f.get(), 5, 6, buf), -1);
    EXPECT_EQ(conv.convert(f.get(), -1, 2, buf), -1);
    EXPECT_EQ(conv.convert(f.get(), 0, -1, buf), -1);
    EXPECT_EQ(conv.convert(f.get(), 10, 0, buf), 0);
    // A frame of another shape than the prepared one.
    FramePtr other = make_frame<double>(AV_SAMPLE_FMT_DBL, 2, 10, [](int, int) { return 0.0; });
    FramePtr mono = make_frame<float>(AV_SAMPLE_FMT_FLTP, 1, 10, [](int, int) { return 0.f; });
    ASSERT_TRUE(other && mono);
    EXPECT_EQ(conv.convert(other.get(), 0, 10, buf), -1);
    EXPECT_EQ(conv.convert(mono.get(), 0, 10, buf), -1);
    // More samples than the buffer holds in one piece.
    const int piece = PcmConverter::piece_samples(f.get());
    EXPECT_EQ(size_t(piece) * 2 * 2, PCM_BUFFER_SIZE);
    FramePtr big =
        make_frame<float>(AV_SAMPLE_FMT_FLTP, 2, piece + 1, [](int, int) { return 0.f; });
    ASSERT_TRUE(big);
    ASSERT_TRUE(conv.prepare(big.get()));
    EXPECT_EQ(conv.convert(big.get(), 0, piece + 1, buf), -1);
    EXPECT_EQ(conv.convert(big.get(), 1, piece, buf), long(piece) * 2 * 2);
    // After a reset nothing converts until prepared again.
    conv.reset();
    EXPECT_EQ(conv.convert(big.get(), 0, 1, buf), -1);
}

}  // namespace
