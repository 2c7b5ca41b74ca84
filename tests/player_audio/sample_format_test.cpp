// Songs whose decoders give each sample format, played through open_song and
// the decode step: the device must receive the samples the ffmpeg command's
// own conversion gives with the same decoder, exactly for integer formats and
// within 1 for floating-point ones, clipping included.
#include "audio_fixture.h"
#include "decoder_choice.h"
#include "playstate.h"

#include <gtest/gtest.h>

#include <algorithm>

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace {

// Up to six channels: beyond full scale (clipped by float formats), noise over
// the whole range, a tone of a few steps (rounding near zero), and tones.
const char* const CHANNEL_EXPRS[] = {
    "1.3*sin(440*2*PI*t)", "2*random(0)-1",        "0.0004*sin(330*2*PI*t)",
    "0.9*sin(250*2*PI*t)", "-0.7*sin(550*2*PI*t)", "0.5*sin(110*2*PI*t)",
};

std::string source(int channels, int rate) {
    std::string exprs;
    for (int c = 0; c < channels; c++) exprs += std::string(c ? "|" : "") + CHANNEL_EXPRS[c];
    return "-f lavfi -i 'aevalsrc=" + exprs + ":s=" + std::to_string(rate) + ":d=1' ";
}

struct FormatCase {
    const char* name;
    int channels;
    int rate;
    const char* codec;  // ffmpeg encoder and options
    const char* decoder;
    AVSampleFormat format;  // what that decoder gives
};

const FormatCase CASES[] = {
    {"u8.wav", 2, 44100, "-c:a pcm_u8", "pcm_u8", AV_SAMPLE_FMT_U8},
    {"s16.wav", 1, 44100, "-c:a pcm_s16le", "pcm_s16le", AV_SAMPLE_FMT_S16},
    {"s24.wav", 3, 48000, "-c:a pcm_s24le", "pcm_s24le", AV_SAMPLE_FMT_S32},
    {"s32.wav", 2, 44100, "-c:a pcm_s32le", "pcm_s32le", AV_SAMPLE_FMT_S32},
    {"f32.wav", 2, 44100, "-c:a pcm_f32le", "pcm_f32le", AV_SAMPLE_FMT_FLT},
    {"f64.wav", 3, 44100, "-c:a pcm_f64le", "pcm_f64le", AV_SAMPLE_FMT_DBL},
    {"u8p.nut", 2, 44100, "-c:a pcm_s8_planar", "pcm_s8_planar", AV_SAMPLE_FMT_U8P},
    {"s16p.nut", 3, 44100, "-c:a pcm_s16le_planar", "pcm_s16le_planar", AV_SAMPLE_FMT_S16P},
    {"s32p.nut", 1, 48000, "-c:a pcm_s24le_planar", "pcm_s24le_planar", AV_SAMPLE_FMT_S32P},
    {"s16.flac", 2, 44100, "-c:a flac -sample_fmt s16", "flac", AV_SAMPLE_FMT_S16},
    {"s32.flac", 6, 48000, "-c:a flac -sample_fmt s32 -bits_per_raw_sample 24", "flac",
     AV_SAMPLE_FMT_S32},
    {"mono.mp3", 1, 44100, "-c:a libmp3lame -b:a 96k", "mp3", AV_SAMPLE_FMT_S16P},
    {"stereo.mp3", 2, 48000, "-c:a libmp3lame -b:a 192k", "mp3", AV_SAMPLE_FMT_S16P},
    {"stereo.m4a", 2, 44100, "-c:a aac -b:a 128k", "aac_fixed", AV_SAMPLE_FMT_S32P},
    {"six.m4a", 6, 48000, "-c:a aac -b:a 256k", "aac_fixed", AV_SAMPLE_FMT_S32P},
    {"six.ac3", 6, 48000, "-c:a ac3 -b:a 384k", "ac3_fixed", AV_SAMPLE_FMT_S16P},
    {"stereo.wma", 2, 44100, "-c:a wmav2 -b:a 128k", "wmav2", AV_SAMPLE_FMT_FLTP},
    {"three.ogg", 3, 44100, "-af aformat=channel_layouts=3.0 -c:a libvorbis", "vorbis",
     AV_SAMPLE_FMT_FLTP},
};

bool is_float(AVSampleFormat f) {
    f = av_get_packed_sample_fmt(f);
    return f == AV_SAMPLE_FMT_FLT || f == AV_SAMPLE_FMT_DBL;
}

class SampleFormats : public ::testing::Test {
protected:
    void SetUp() override {
        use_standin_dir(dir_);
        set_playstate_path(dir_.file("playusb.xml").c_str());
        write_text(dir_.file("playusb.xml"), playstate_doc("50"));
        fresh_player();
    }
    void TearDown() override { free_doc(); }
    TempDir dir_;
    TempDir songs_;
};

TEST_F(SampleFormats, EachFormatGivesTheSamplesOfFfmpegsOwnConversion) {
    int wav = 0;
    for (const FormatCase& c : CASES) {
        SCOPED_TRACE(c.name);
        std::string path = make_song(songs_, c.name, source(c.channels, c.rate) + c.codec);
        ASSERT_FALSE(path.empty());
        Played played;
        ASSERT_EQ(play_song(path, 100000, &played), 0);
        std::string n = std::to_string(++wav);
        EXPECT_EQ(played.decoder, c.decoder);
        EXPECT_STREQ(av_get_sample_fmt_name(AVSampleFormat(played.sample_format)),
                     av_get_sample_fmt_name(c.format));

        std::vector<int16_t> want = reference_pcm(path, 1, c.decoder);
        ASSERT_GT(want.size(), size_t(c.rate) * c.channels * 9 / 10);
        std::vector<int16_t> got = wav_samples(dir_.file("pcm-" + n + ".wav"));
        ASSERT_EQ(got.size(), want.size());
        EXPECT_LE(max_sample_diff(got, want), is_float(c.format) ? 1 : 0);
        // The first channel goes beyond full scale: the content reaches both
        // ends (8-bit samples top out at 32512), so clipping was exercised.
        EXPECT_GE(*std::max_element(want.begin(), want.end()), 32512);
        EXPECT_EQ(*std::min_element(want.begin(), want.end()), -32768);
        // Channels stay apart: the first (loud) and the third (a few steps)
        // differ everywhere but near their zero crossings.
        if (c.channels >= 3 && !is_float(c.format)) {
            size_t loud = 0;
            for (size_t i = 2; i < got.size(); i += size_t(c.channels))
                if (abs(got[i]) > 100) loud++;
            EXPECT_EQ(loud, 0u);
        }
    }
}

// A format the converter does not take: the message, and nothing written.
TEST_F(SampleFormats, AFormatThatCannotBeConvertedIsReportedAndDropped) {
    std::string path = make_song(songs_, "s64.nut", source(2, 44100) + "-c:a pcm_s64le");
    ASSERT_FALSE(path.empty());
    ::testing::internal::CaptureStdout();
    Played played;
    int r = play_song(path, 100000, &played);
    std::string out = ::testing::internal::GetCapturedStdout();
    ASSERT_EQ(r, 0);
    EXPECT_STREQ(av_get_sample_fmt_name(AVSampleFormat(played.sample_format)), "s64");
    EXPECT_NE(out.find("Cannot convert s64 sample format to s16 sample format\n"),
              std::string::npos);
    EXPECT_EQ(out.find("av_audio_convert() failed"), std::string::npos);
    EXPECT_EQ(wav_samples(dir_.file("pcm-1.wav")).size(), 0u);
}

TEST(SongDecoder, FixedPointWhereFfmpegHasIt) {
    struct Want {
        AVCodecID id;
        const char* name;
    };
    const Want wants[] = {
        {AV_CODEC_ID_MP3, "mp3"}, {AV_CODEC_ID_AAC, "aac_fixed"}, {AV_CODEC_ID_AC3, "ac3_fixed"},
        {AV_CODEC_ID_MP2, "mp2"}, {AV_CODEC_ID_FLAC, "flac"},     {AV_CODEC_ID_WMAV2, "wmav2"},
    };
    for (const Want& w : wants) {
        const AVCodec* c = find_song_decoder(w.id);
        ASSERT_NE(c, nullptr) << w.name;
        EXPECT_STREQ(c->name, w.name);
        EXPECT_EQ(c->id, w.id) << w.name;
    }
    // A codec with no fixed-point decoder keeps FFmpeg's own choice; one
    // with no decoder at all gives none.
    EXPECT_EQ(find_song_decoder(AV_CODEC_ID_EAC3), avcodec_find_decoder(AV_CODEC_ID_EAC3));
    EXPECT_EQ(find_song_decoder(AV_CODEC_ID_NONE), nullptr);
}

}  // namespace
