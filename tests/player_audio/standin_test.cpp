// The I2S stand-in as any program sees it: open, ioctl, write and close on
// "/dev/i2s" (the stand-in is linked into this binary).
#include "audio_fixture.h"
#include "sample_order.h"

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
    // FREQ as a PC's _IOW encodes it (the box's MIPS encoding sets the top
    // bit for a write, a PC's the one below) is refused on either CPU.
    EXPECT_EQ(ioctl(fd, 0x40044E21UL, 44100), -1);
    const int16_t pcm[5] = {1, -2, 300, -32768, 32767};
    ASSERT_EQ(write(fd, pcm, sizeof pcm), ssize_t(sizeof pcm));
    EXPECT_EQ(close(fd), 0);

    std::vector<std::string> want = {"open pcm-1.wav",
                                     "FREQ 22050",
                                     "FORMAT 16",
                                     "CHANNEL 1",
                                     "VOLUME 65",
                                     "MUTE 0",
                                     "request 0x80044e24 refused",
                                     "request 0x40044e21 refused",
                                     "close pcm-1.wav 10"};
    EXPECT_EQ(journal(), want);
    std::string wav = read_text(dir_.file("pcm-1.wav"));
    ASSERT_EQ(wav.size(), 44u + sizeof pcm);
    EXPECT_EQ(wav.substr(0, 4) + wav.substr(8, 4), "RIFFWAVE");
    EXPECT_EQ(le_field(wav, 22, 2), 1u);      // channels
    EXPECT_EQ(le_field(wav, 24, 4), 22050u);  // rate
    EXPECT_EQ(le_field(wav, 40, 4), sizeof pcm);
    // Written in the CPU's order, kept little-endian as a WAV file holds them.
    EXPECT_EQ(wav_samples(dir_.file("pcm-1.wav")), std::vector<int16_t>(pcm, pcm + 5));
}

// Samples split between writes (one byte at a time, or three) reach the file
// whole and in the file's order, 16 and 32 bits wide.
TEST_F(Standin, SplitSamplesKeepTheirValues) {
    const int32_t wide[3] = {0x01020304, -2, 0x7FFFFF00};
    const int16_t narrow[4] = {0x0102, -2, 0x7F00, -32768};
    for (int bits : {16, 32}) {
        SCOPED_TRACE(bits);
        setenv("BOX_I2S_PARTIAL", bits == 16 ? "1" : "3", 1);
        int fd = open("/dev/i2s", O_WRONLY);
        ASSERT_GT(fd, 0);
        ASSERT_EQ(ioctl(fd, 0x80044E22UL, bits), 0);
        const char* p = bits == 16 ? reinterpret_cast<const char*>(narrow)
                                   : reinterpret_cast<const char*>(wide);
        size_t left = bits == 16 ? sizeof narrow : sizeof wide;
        while (left > 0) {
            ssize_t n = write(fd, p, left);
            ASSERT_GT(n, 0);
            p += n;
            left -= size_t(n);
        }
        ASSERT_EQ(close(fd), 0);
    }
    std::string w16 = read_text(dir_.file("pcm-1.wav"));
    std::string w32 = read_text(dir_.file("pcm-2.wav"));
    ASSERT_EQ(w16.size(), 44 + sizeof narrow);
    ASSERT_EQ(w32.size(), 44 + sizeof wide);
    EXPECT_EQ(wav_samples(dir_.file("pcm-1.wav")), std::vector<int16_t>(narrow, narrow + 4));
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(int32_t(le_field(w32, 44 + 4 * size_t(i), 4)), wide[i]) << i;
}

// The reordering itself, as a big-endian CPU runs it (on any CPU).
TEST(SampleOrder, ReversesWholeSamplesAndCarriesTheRest) {
    SampleCarry carry{};
    uint8_t out[16];
    const uint8_t in[] = {1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(reverse_samples(carry, 2, in, 3, out), 2u);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 2), (std::vector<uint8_t>{2, 1}));
    EXPECT_EQ(carry.have, 1u);
    EXPECT_EQ(reverse_samples(carry, 2, in + 3, 4, out), 4u);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{4, 3, 6, 5}));
    EXPECT_EQ(carry.have, 1u);
    EXPECT_EQ(carry.bytes[0], 7);

    SampleCarry c4{};
    EXPECT_EQ(reverse_samples(c4, 4, in, 6, out), 4u);
    EXPECT_EQ(reverse_samples(c4, 4, in + 6, 1, out + 4), 0u);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{4, 3, 2, 1}));
    EXPECT_EQ(c4.have, 3u);

    SampleCarry c1{};
    EXPECT_EQ(reverse_samples(c1, 1, in, 7, out), 7u);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 7), std::vector<uint8_t>(in, in + 7));
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
    std::vector<std::string> want = {"open failed",       "open failed",      "open pcm-1.wav",
                                     "FREQ 8000",         "CHANNEL 2 failed", "write failed",
                                     "close pcm-1.wav 12"};
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
