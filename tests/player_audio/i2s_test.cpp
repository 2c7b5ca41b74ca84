// The player's I2S output against the stand-in: request order and values,
// the volume scale, closing, and a device that will not open.
#include "i2s.h"
#include "audio_fixture.h"
#include "playstate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

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
        g_player_lock.lock();
        open_audio_output(g_player);
        g_player_lock.unlock();
    }
    TempDir dir_;
    AVCodecContext* codec_ = nullptr;
};

TEST(VolumeScale, LowAndMiddleRangeInStepsOfFive) {
    const int cases[][2] = {{0, 0},   {1, 45},    {10, 45},   {11, 50}, {41, 65},
                            {50, 65}, {70, 75},   {71, 80},   {79, 80}, {80, 80},
                            {81, 81}, {100, 100}, {150, 150}, {-3, -3}};
    for (auto& c : cases) EXPECT_EQ(map_volume(c[0]), c[1]) << c[0];
}

TEST_F(I2sOutput, OpenRetriedOnceThenRateFormatChannelsVolumeUnmuteInOrder) {
    setenv("BOX_I2S_FAIL_OPEN", "1", 1);
    auto t0 = steady_clock::now();
    start("50");
    EXPECT_GE(steady_clock::now() - t0, milliseconds(3900));
    EXPECT_GT(g_i2s_fd, 0);
    EXPECT_NE(g_player->start_time_us, 0);
    std::vector<std::string> want = {"open failed", "open pcm-1.wav", "FREQ 44100", "FORMAT 16",
                                     "CHANNEL 2",   "VOLUME 65",      "MUTE 0"};
    EXPECT_EQ(journal(), want);
}

TEST_F(I2sOutput, VolumeAtStartComesFromFileOrLastSeenValue) {
    const char* cases[][2] = {
        {"", "VOLUME 80"},                                              // fresh daemon, no <volume>
        {"100", "VOLUME 100"}, {"0", "VOLUME 0"},    {"", "VOLUME 0"},  // the last value seen stays
        {"250", "VOLUME 100"}, {"loud", "VOLUME 0"}, {"12345678901", "VOLUME 100"}};
    for (auto& c : cases) {
        start(c[0]);
        i2s_close();
        std::vector<std::string> lines = journal();
        ASSERT_GE(lines.size(), 4u);
        EXPECT_EQ(lines[lines.size() - 4], c[1]) << "<volume>" << c[0];
        EXPECT_LT(strlen(g_volume_str), sizeof g_volume_str);
    }
}

TEST_F(I2sOutput, VolumeChangesCloseAndClosedDevice) {
    EXPECT_EQ(i2s_set_volume(50), -1);  // closed: nothing sent
    start("50");
    EXPECT_EQ(i2s_set_volume(75), 0);
    EXPECT_EQ(i2s_set_volume(0), 0);
    EXPECT_EQ(i2s_set_volume(100), 0);
    // Outside 0..100 the same clamp as at a song's start.
    EXPECT_EQ(i2s_set_volume(-5), 0);
    EXPECT_EQ(i2s_set_volume(1000), 0);
    EXPECT_EQ(i2s_close(), 0);
    EXPECT_EQ(g_i2s_fd, 0);
    EXPECT_EQ(i2s_close(), 0);
    EXPECT_EQ(i2s_write("xx", 2), -1);
    EXPECT_EQ(i2s_set_volume(50), -1);
    std::vector<std::string> lines = journal();
    std::vector<std::string> tail(lines.begin() + 6, lines.end());
    std::vector<std::string> want = {"VOLUME 80",  "VOLUME 0", "VOLUME 100",       "VOLUME 0",
                                     "VOLUME 100", "MUTE 1",   "close pcm-1.wav 0"};
    EXPECT_EQ(tail, want);
}

// A failed close has released the number; the engine's second try must not
// mute and close a file that has taken the number since.
TEST_F(I2sOutput, AFailedCloseIsNotRetriedOnAnotherFile) {
    setenv("BOX_I2S_FAIL_CLOSE", "1", 1);
    start("50");
    const int old = g_i2s_fd;
    EXPECT_EQ(i2s_close(), -1);
    EXPECT_EQ(g_i2s_fd, 0);
    const int other = open("/dev/null", O_WRONLY);
    ASSERT_EQ(other, old);  // the lowest free number comes back
    EXPECT_EQ(i2s_close(), 0);
    EXPECT_NE(fcntl(other, F_GETFD), -1) << "the other file was closed";
    close(other);
    std::vector<std::string> lines = journal();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "close pcm-1.wav 0 failed");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "MUTE 1"), 1);
}

TEST_F(I2sOutput, AFailedRequestEndsTheConfigurationEarly) {
    setenv("BOX_I2S_FAIL_REQUEST", "FORMAT", 1);
    start("50");
    std::vector<std::string> want = {"open pcm-1.wav", "FREQ 44100", "FORMAT 16 failed"};
    EXPECT_EQ(journal(), want);
    EXPECT_GT(g_i2s_fd, 0);  // playback goes on with the open device
}

TEST_F(I2sOutput, TwoFailedOpensEndTheProgram) {
    setenv("BOX_I2S_FAIL_OPEN", "2", 1);
    write_text(dir_.file("playusb.xml"), playstate_doc("50"));
    auto t0 = steady_clock::now();
    EXPECT_EXIT(
        {
            dup2(2, 1);  // the message goes to standard output
            g_verbose = 1;
            open_audio_output(g_player);
        },
        ::testing::ExitedWithCode(1), "open device faild ,try again:\ncan't open sound device\n");
    EXPECT_GE(steady_clock::now() - t0, milliseconds(3900));
    EXPECT_EQ(journal(), std::vector<std::string>({"open failed", "open failed"}));
}

}  // namespace
