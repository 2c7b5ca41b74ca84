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

TEST_F(Standin, TakesTheFiveRequestsRefusesOthersAndJournalsThem) {
    int fd = open("/dev/i2s", O_WRONLY);
    ASSERT_GT(fd, 0);
    EXPECT_EQ(ioctl(fd, 0x80044E21UL, 48000), 0);
    EXPECT_EQ(ioctl(fd, 0x80044E22UL, 16), 0);
    EXPECT_EQ(ioctl(fd, 0x80044E23UL, 1), 0);
    EXPECT_EQ(ioctl(fd, 0x80044E20UL, 65), 0);
    EXPECT_EQ(ioctl(fd, 0x80044E29UL, 0), 0);
    errno = 0;
    EXPECT_EQ(ioctl(fd, 0x80044E24UL, 1), -1);
    EXPECT_EQ(errno, ENOTTY);
    // The same request as the build host's own _IOW would encode it.
    EXPECT_EQ(ioctl(fd, _IOW('N', 0x21, int), 44100), -1);
    EXPECT_EQ(close(fd), 0);
    char host_code[48];
    snprintf(host_code, sizeof host_code, "request 0x%lx refused", (unsigned long)_IOW('N', 0x21, int));
    std::vector<std::string> want = {"open pcm-1.wav", "FREQ 48000", "FORMAT 16",
                                     "CHANNEL 1", "VOLUME 65", "MUTE 0",
                                     "request 0x80044e24 refused", host_code,
                                     "close pcm-1.wav 0"};
    EXPECT_EQ(journal(), want);
}

TEST_F(Standin, EachOpeningBecomesAWavFileWithTheConfiguredShape) {
    for (int round = 0; round < 2; round++) {
        int fd = open("/dev/i2s", O_WRONLY);
        ASSERT_GT(fd, 0);
        ioctl(fd, 0x80044E21UL, round ? 44100 : 22050);
        ioctl(fd, 0x80044E23UL, round ? 2 : 1);
        int16_t pcm[6] = {1, -2, 300, -32768, 32767, short(round)};
        ASSERT_EQ(write(fd, pcm, sizeof pcm), ssize_t(sizeof pcm));
        ASSERT_EQ(close(fd), 0);
    }
    for (int round = 0; round < 2; round++) {
        std::string wav = read_text(dir_.file(round ? "pcm-2.wav" : "pcm-1.wav"));
        ASSERT_EQ(wav.size(), 44u + 12u);
        EXPECT_EQ(wav.substr(0, 4), "RIFF");
        uint32_t rate;
        uint16_t channels, bits;
        uint32_t data;
        memcpy(&channels, wav.data() + 22, 2);
        memcpy(&rate, wav.data() + 24, 4);
        memcpy(&bits, wav.data() + 34, 2);
        memcpy(&data, wav.data() + 40, 4);
        EXPECT_EQ(rate, round ? 44100u : 22050u);
        EXPECT_EQ(channels, round ? 2u : 1u);
        EXPECT_EQ(bits, 16u);
        EXPECT_EQ(data, 12u);
        std::vector<int16_t> want = {1, -2, 300, -32768, 32767, short(round)};
        EXPECT_EQ(wav_samples(dir_.file(round ? "pcm-2.wav" : "pcm-1.wav")), want);
    }
}

TEST_F(Standin, InjectedFailuresAndPartialWrites) {
    setenv("BOX_I2S_FAIL_OPEN", "2", 1);
    EXPECT_EQ(open("/dev/i2s", O_WRONLY), -1);
    EXPECT_EQ(errno, ENODEV);
    EXPECT_EQ(open("/dev/i2s", O_WRONLY), -1);
    int fd = open("/dev/i2s", O_WRONLY);
    ASSERT_GT(fd, 0);

    setenv("BOX_I2S_FAIL_REQUEST", "CHANNEL", 1);
    setenv("BOX_I2S_PARTIAL", "6", 1);
    setenv("BOX_I2S_FAIL_WRITE_AFTER", "10", 1);
    close(fd);
    fd = open("/dev/i2s", O_WRONLY);  // settings are taken at each open
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
    std::vector<std::string> want = {"open failed",    "open failed",    "open pcm-1.wav",
                                     "close pcm-1.wav 0", "open pcm-2.wav", "FREQ 8000",
                                     "CHANNEL 2 failed",  "write failed",   "close pcm-2.wav 12"};
    EXPECT_EQ(journal(), want);
}

TEST_F(Standin, OtherFilesPassThrough) {
    std::string path = dir_.file("plain");
    int fd = open(path.c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(write(fd, "abc", 3), 3);
    EXPECT_EQ(ioctl(fd, 0x80044E21UL, 1), -1);  // a plain file has no such request
    EXPECT_EQ(close(fd), 0);
    EXPECT_EQ(read_text(path), "abc");
    EXPECT_TRUE(journal().empty());
}

TEST_F(Standin, TakesDataNoFasterThanItPlays) {
    setenv("BOX_I2S_SPEED", "1", 1);
    int fd = open("/dev/i2s", O_WRONLY);
    ASSERT_GT(fd, 0);
    ioctl(fd, 0x80044E21UL, 8000);
    ioctl(fd, 0x80044E23UL, 1);
    std::vector<char> half_second(8000);  // 0.5 s of 8 kHz mono 16-bit
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(write(fd, half_second.data(), half_second.size()), ssize_t(half_second.size()));
    auto waited = std::chrono::steady_clock::now() - t0;
    close(fd);
    // Half a second of audio, less what the device may buffer ahead.
    EXPECT_GE(waited, std::chrono::milliseconds(200));
}

}  // namespace
