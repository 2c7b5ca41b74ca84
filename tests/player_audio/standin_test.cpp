// The I2S stand-in as any program sees it: open, ioctl, write and close on
// "/dev/i2s" (the stand-in is linked into this binary).
#include "audio_fixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

class Standin : public ::testing::Test {
protected:
    void SetUp() override { use_standin_dir(dir_); }
    std::vector<std::string> journal() { return read_lines(dir_.file("journal")); }
    TempDir dir_;
};

TEST_F(Standin, TakesTheFiveRequestsIntoJournalAndWav) {
    int fd = open("/dev/i2s", O_WRONLY);
    ASSERT_GT(fd, 0);
    EXPECT_EQ(ioctl(fd, 0x80044E21UL, 22050), 0);
    EXPECT_EQ(ioctl(fd, 0x80044E22UL, 16), 0);
    EXPECT_EQ(ioctl(fd, 0x80044E23UL, 1), 0);
    EXPECT_EQ(ioctl(fd, 0x80044E20UL, 65), 0);
    EXPECT_EQ(ioctl(fd, 0x80044E29UL, 0), 0);
    EXPECT_EQ(ioctl(fd, 0x80044E24UL, 1), -1);
    EXPECT_EQ(errno, ENOTTY);
    // The same request as the build host's own _IOW encodes it is refused.
    EXPECT_EQ(ioctl(fd, _IOW('N', 0x21, int), 44100), -1);
    const int16_t pcm[5] = {1, -2, 300, -32768, 32767};
    ASSERT_EQ(write(fd, pcm, sizeof pcm), ssize_t(sizeof pcm));
    EXPECT_EQ(close(fd), 0);

    char host_code[48];
    snprintf(host_code, sizeof host_code, "request 0x%lx refused", (unsigned long)_IOW('N', 0x21, int));
    std::vector<std::string> want = {"open pcm-1.wav", "FREQ 22050", "FORMAT 16", "CHANNEL 1",
                                     "VOLUME 65", "MUTE 0", "request 0x80044e24 refused",
                                     host_code, "close pcm-1.wav 10"};
    EXPECT_EQ(journal(), want);
    std::string wav = read_text(dir_.file("pcm-1.wav"));
    ASSERT_EQ(wav.size(), 44u + sizeof pcm);
    uint32_t rate, data;
    uint16_t channels;
    memcpy(&channels, wav.data() + 22, 2);
    memcpy(&rate, wav.data() + 24, 4);
    memcpy(&data, wav.data() + 40, 4);
    EXPECT_EQ(wav.substr(0, 4) + wav.substr(8, 4), "RIFFWAVE");
    EXPECT_EQ(rate, 22050u);
    EXPECT_EQ(channels, 1u);
    EXPECT_EQ(data, sizeof pcm);
    EXPECT_EQ(wav_samples(dir_.file("pcm-1.wav")), std::vector<int16_t>(pcm, pcm + 5));
}

TEST_F(Standin, InjectedFailuresAndPartialWrites) {
    setenv("BOX_I2S_FAIL_OPEN", "2", 1);
    EXPECT_EQ(open("/dev/i2s", O_WRONLY), -1);
    EXPECT_EQ(errno, ENODEV);
    EXPECT_EQ(open("/dev/i2s", O_WRONLY), -1);
    setenv("BOX_I2S_FAIL_REQUEST", "CHANNEL", 1);
    setenv("BOX_I2S_PARTIAL", "6", 1);
    setenv("BOX_I2S_FAIL_WRITE_AFTER", "10", 1);
    int fd = open("/dev/i2s", O_WRONLY);
    ASSERT_GT(fd, 0);
    EXPECT_EQ(ioctl(fd, 0x80044E21UL, 8000), 0);
    EXPECT_EQ(ioctl(fd, 0x80044E23UL, 2), -1);
    EXPECT_EQ(errno, EIO);
    char data[16] = {};
    EXPECT_EQ(write(fd, data, sizeof data), 6);
    EXPECT_EQ(write(fd, data, sizeof data), 6);
    EXPECT_EQ(write(fd, data, sizeof data), -1);
    EXPECT_EQ(errno, EIO);
    close(fd);
    std::vector<std::string> want = {"open failed", "open failed", "open pcm-1.wav", "FREQ 8000",
                                     "CHANNEL 2 failed", "write failed", "close pcm-1.wav 12"};
    EXPECT_EQ(journal(), want);
}

TEST_F(Standin, TakesDataNoFasterThanItPlays) {
    setenv("BOX_I2S_SPEED", "1", 1);
    int fd = open("/dev/i2s", O_WRONLY);
    ASSERT_GT(fd, 0);
    ioctl(fd, 0x80044E21UL, 8000);
    ioctl(fd, 0x80044E23UL, 1);
    std::vector<char> half_second(8000);  // 8 kHz mono 16-bit
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(write(fd, half_second.data(), half_second.size()), ssize_t(half_second.size()));
    auto waited = std::chrono::steady_clock::now() - t0;
    close(fd);
    // Half a second of audio, less the quarter second the device buffers.
    EXPECT_GE(waited, std::chrono::milliseconds(200));
}

}  // namespace
