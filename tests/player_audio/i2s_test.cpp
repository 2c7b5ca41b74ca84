// The player's I2S output against the stand-in: request order and values,
// the volume scale, closing, and a device that will not open.
#include "audio_fixture.h"
#include "decoder.h"
#include "i2s.h"
#include "playstate.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

class I2sOutput : public ::testing::Test {
protected:
    void SetUp() override {
        use_standin_dir(dir_);
        set_playstate_path(dir_.file("playusb.xml").c_str());
        fresh_player();
        codec_ = avcodec_alloc_context3(nullptr);
        codec_->sample_rate = 44100;
        av_channel_layout_default(&codec_->ch_layout, 2);
        g_player->codec_ctx = codec_;
    }
    void TearDown() override {
        i2s_close();
        g_player->codec_ctx = nullptr;
        avcodec_free_context(&codec_);
        free_doc();
    }
    std::vector<std::string> journal() { return read_lines(dir_.file("journal")); }
    // Opens and configures the device as a song start does.
    void start(const std::string& volume) {
        write_text(dir_.file("playusb.xml"), playstate_doc(volume));
        pthread_mutex_lock(&g_player_lock);
        open_audio_output(g_player);
        pthread_mutex_unlock(&g_player_lock);
    }
    TempDir dir_;
    AVCodecContext* codec_ = nullptr;
};

TEST(VolumeScale, LowAndMiddleRangeInStepsOfFive) {
    struct {
        int volume, sent;
    } cases[] = {{0, 0},   {1, 45},  {10, 45}, {11, 50}, {40, 60},  {41, 65},   {50, 65},
                 {70, 75}, {71, 80}, {75, 80}, {79, 80}, {80, 80},  {81, 81},   {100, 100},
                 {150, 150}, {-3, -3}};
    for (auto& c : cases) EXPECT_EQ(map_volume(c.volume), c.sent) << c.volume;
}

TEST_F(I2sOutput, SongStartSendsRateFormatChannelsVolumeUnmuteInOrder) {
    start("50");
    EXPECT_GT(g_i2s_fd, 0);
    EXPECT_NE(g_player->start_time_us, 0);
    std::vector<std::string> want = {"open pcm-1.wav", "FREQ 44100", "FORMAT 16",
                                     "CHANNEL 2",      "VOLUME 65",  "MUTE 0"};
    EXPECT_EQ(journal(), want);
    EXPECT_STREQ(g_volume_str, "50");
}

TEST_F(I2sOutput, VolumeAtStartComesFromFileOrLastSeenValue) {
    struct {
        const char* in_file;
        const char* sent;
    } cases[] = {{"", "VOLUME 80"},      // fresh daemon, no <volume>
                 {"100", "VOLUME 100"}, {"0", "VOLUME 0"},
                 {"", "VOLUME 0"},       // the last value seen stays
                 {"250", "VOLUME 100"},  // clamped at start
                 {"loud", "VOLUME 0"},   {"12345678901", "VOLUME 100"}};
    for (auto& c : cases) {
        start(c.in_file);
        i2s_close();
        std::vector<std::string> lines = journal();
        ASSERT_GE(lines.size(), 4u);
        EXPECT_EQ(lines[lines.size() - 4], c.sent) << "<volume>" << c.in_file;
        EXPECT_LT(strlen(g_volume_str), sizeof g_volume_str);
    }
}

TEST_F(I2sOutput, VolumeChangesWhilePlayingAndNotWhileClosed) {
    EXPECT_EQ(i2s_set_volume(50), -1);  // closed: nothing sent
    start("50");
    EXPECT_EQ(i2s_set_volume(75), 0);
    EXPECT_EQ(i2s_set_volume(0), 0);
    EXPECT_EQ(i2s_set_volume(100), 0);
    std::vector<std::string> lines = journal();
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], "open pcm-1.wav");
    EXPECT_EQ(lines[4], "VOLUME 65");
    EXPECT_EQ(lines[6], "VOLUME 80");
    EXPECT_EQ(lines[7], "VOLUME 0");
    EXPECT_EQ(lines[8], "VOLUME 100");
}

TEST_F(I2sOutput, CloseMutesFirstAndASecondCloseDoesNothing) {
    start("80");
    EXPECT_EQ(i2s_close(), 0);
    EXPECT_EQ(g_i2s_fd, 0);
    EXPECT_EQ(i2s_close(), 0);
    EXPECT_EQ(i2s_write("xx", 2), -1);
    std::vector<std::string> lines = journal();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[6], "MUTE 1");
    EXPECT_EQ(lines[7], "close pcm-1.wav 0");
}

TEST_F(I2sOutput, AFailedRequestEndsTheConfigurationEarly) {
    setenv("BOX_I2S_FAIL_REQUEST", "FORMAT", 1);
    start("50");
    std::vector<std::string> want = {"open pcm-1.wav", "FREQ 44100", "FORMAT 16 failed"};
    EXPECT_EQ(journal(), want);
    EXPECT_GT(g_i2s_fd, 0);  // playback goes on with the open device
}

TEST_F(I2sOutput, OneFailedOpenIsRetriedAfterFourSeconds) {
    setenv("BOX_I2S_FAIL_OPEN", "1", 1);
    auto t0 = std::chrono::steady_clock::now();
    start("50");
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(3900));
    EXPECT_GT(g_i2s_fd, 0);
    std::vector<std::string> lines = journal();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "open failed");
    EXPECT_EQ(lines[1], "open pcm-1.wav");
}

TEST_F(I2sOutput, TwoFailedOpensEndTheProgram) {
    setenv("BOX_I2S_FAIL_OPEN", "2", 1);
    write_text(dir_.file("playusb.xml"), playstate_doc("50"));
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EXIT(
        {
            dup2(2, 1);  // the message goes to standard output
            g_verbose = 1;
            open_audio_output(g_player);
        },
        ::testing::ExitedWithCode(1), "can't open sound device");
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(3900));
    std::vector<std::string> want = {"open failed", "open failed"};
    EXPECT_EQ(journal(), want);
}

}  // namespace
