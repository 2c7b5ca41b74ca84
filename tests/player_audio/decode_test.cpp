// Songs of every disk format through open_song and the decode step: the PCM
// the device receives must be what the ffmpeg command decodes.
#include "audio_fixture.h"
#include "decoder.h"
#include "i2s.h"
#include "playstate.h"
#include "read_bound.h"
#include "song_media.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

class Decode : public ::testing::Test {
protected:
    void SetUp() override {
        use_standin_dir(dir_);
        set_playstate_path(dir_.file("playusb.xml").c_str());
        write_text(dir_.file("playusb.xml"), playstate_doc("50"));
        fresh_player();
    }
    void TearDown() override { free_doc(); }
    std::vector<std::string> journal() { return read_lines(dir_.file("journal")); }
    std::string length_tag() {
        std::string doc = read_text(dir_.file("playusb.xml"));
        size_t at = doc.find("<length>") + 8;
        return doc.substr(at, doc.find('<', at) - at);
    }
    TempDir dir_;
};

TEST_F(Decode, EveryFormatPlaysAsTheFfmpegCommandDecodesIt) {
    setenv("BOX_I2S_PARTIAL", "1001", 1);  // odd: the device splits samples
    int wav = 0;
    for (const Fixture& f : fixtures()) {
        SCOPED_TRACE(f.name);
        std::string path = song(f.name);
        ASSERT_FALSE(path.empty());
        Played played;
        ASSERT_EQ(play_song(path, 100000, &played), 0);
        // Fixed-point decoders where FFmpeg has them, on every machine.
        EXPECT_EQ(played.decoder, f.decoder);
        std::string n = std::to_string(++wav);
        std::vector<int16_t> want = reference_pcm(path, f.audio_streams, f.decoder);
        ASSERT_GT(want.size(), size_t(f.rate) * f.channels);  // over a second of audio
        std::vector<int16_t> got = wav_samples(dir_.file("pcm-" + n + ".wav"));
        ASSERT_EQ(got.size(), want.size());
        EXPECT_LE(max_sample_diff(got, want), 1);

        std::vector<std::string> lines = journal();
        ASSERT_GE(lines.size(), 8u);
        std::vector<std::string> seen(lines.end() - 8, lines.end());
        std::vector<std::string> expect = {
            "open pcm-" + n + ".wav",
            "FREQ " + std::to_string(f.rate),
            "FORMAT 16",
            "CHANNEL " + std::to_string(f.channels),
            "VOLUME 65",
            "MUTE 0",
            "MUTE 1",
            "close pcm-" + n + ".wav " + std::to_string(want.size() * 2)};
        EXPECT_EQ(seen, expect);
        EXPECT_EQ(length_tag(), std::to_string(f.length));
        EXPECT_EQ(g_player->duration_us, f.length * 1000000LL);
        // The last packet's time, in whole seconds.
        EXPECT_EQ(g_player->position_us % 1000000, 0);
        EXPECT_GE(g_player->position_us, 1000000);
        EXPECT_LE(g_player->position_us, 2000000);
    }
}

TEST_F(Decode, AFailedWriteEndsTheSong) {
    setenv("BOX_I2S_FAIL_WRITE_AFTER", "20000", 1);
    ASSERT_EQ(play_song(song("stereo441.flac")), 0);
    std::vector<std::string> lines = journal();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "write failed");
    // Stopped well before the two seconds (about 350 kB) were written.
    size_t size = read_text(dir_.file("pcm-1.wav")).size();
    EXPECT_GE(size, 44u + 20000u);
    EXPECT_LT(size, 44u + 60000u);
}

// A device that takes nothing must not hold the decode step (and with it
// the player lock) for ever.
TEST_F(Decode, ADeviceThatTakesNothingEndsTheSong) {
    setenv("BOX_I2S_STALL_AFTER", "20000", 1);
    const std::string path = song("stereo441.flac");
    EXPECT_EXIT(
        {
            alarm(60);
            _exit(play_song(path) == 0 ? 0 : 2);
        },
        ::testing::ExitedWithCode(0), "");
    std::vector<std::string> lines = journal();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "write took nothing");
    // Ended soon after the device stopped taking data (2 s are about 350 kB).
    ASSERT_EQ(lines.back().rfind("close pcm-1.wav ", 0), 0u) << lines.back();
    EXPECT_LT(std::stol(lines.back().substr(16)), 60000);
}

// Local paths open only as regular files: a FIFO named like a song would
// block the open. Random bytes that FFmpeg takes for a stream without a
// rate or channels are no song either.
TEST_F(Decode, OnlyRegularFilesWithUsableAudioOpen) {
    const std::string fifo = dir_.file("fifo.mp3");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    std::string noise(400000, '\0');
    uint32_t x = 12345;
    for (char& c : noise) c = char((x = x * 1103515245u + 12345u) >> 24);
    const std::string junk = dir_.file("junk.mp3");
    ASSERT_TRUE(write_text(junk, noise));
    for (const std::string& url : {fifo, "file:" + fifo, junk}) {
        EXPECT_EXIT(
            {
                alarm(20);
                g_player_lock.lock();
                _exit(open_song(url.c_str()) == -1 ? 0 : 2);
            },
            ::testing::ExitedWithCode(0), "")
            << url;
    }
    EXPECT_EQ(journal(), std::vector<std::string>{});  // the device was never opened
    EXPECT_STREQ(local_path_of("/tmp/mnt/sda1/a:b.mp3"), "/tmp/mnt/sda1/a:b.mp3");
    EXPECT_STREQ(local_path_of("file:/x.mp3"), "/x.mp3");
    for (const char* stream : {"http://h/x.mp3", "mms:x", "mmsh://h/x", "rtsp://h"})
        EXPECT_EQ(local_path_of(stream), nullptr) << stream;
}

TEST_F(Decode, EntryLengthIsPublishedInsteadOfTheFileLength) {
    __singlesong.length = 200;
    ASSERT_EQ(play_song(song("mono441.wav"), 3), 0);
    EXPECT_EQ(length_tag(), "200");
    EXPECT_EQ(g_player->duration_us, 2000000);
}

TEST_F(Decode, StepsOutsidePlayingDoNothing) {
    player_ctx* ctx = g_player;
    EXPECT_EQ(dorvu_dec_loop(ctx, STATE_PAUSED), 0);
    ctx->state = STATE_PLAYING;
    EXPECT_EQ(dorvu_dec_loop(ctx, STATE_PLAYING), -1);  // nothing open

    g_player_lock.lock();
    int opened = open_song(song("stereo441.mp3").c_str());
    ctx->state = STATE_PAUSED;
    g_player_lock.unlock();
    ASSERT_EQ(opened, 0);
    // The engine saw "playing", then a pause came in: the step reads nothing.
    int64_t before = avio_tell(ctx->fmt_ctx->pb);
    EXPECT_EQ(dorvu_dec_loop(ctx, STATE_PLAYING), 0);
    EXPECT_EQ(avio_tell(ctx->fmt_ctx->pb), before);
    g_player_lock.lock();
    close_decoder();
    g_player_lock.unlock();
    EXPECT_EQ(ctx->fmt_ctx, nullptr);
    EXPECT_EQ(ctx->codec_ctx, nullptr);
}

// The song's media owns the contexts; the player context only points at
// them, and a close (or a failed open) leaves neither holding anything.
TEST_F(Decode, TheSongsMediaOwnsWhatThePlayerContextBorrows) {
    player_ctx* ctx = g_player;
    SongMedia& media = song_media();
    g_player_lock.lock();
    int opened = open_song(song("stereo441.mp3").c_str());
    bool same = media.format && media.codec && media.packet && media.frame &&
                ctx->fmt_ctx == media.format.get() && ctx->codec_ctx == media.codec.get();
    close_decoder();
    bool closed = !media.format && !media.codec && !media.packet && !media.frame && !ctx->fmt_ctx &&
                  !ctx->codec_ctx;
    int missing = open_song(dir_.file("missing.mp3").c_str());
    bool none = !media.format && !media.codec && !ctx->fmt_ctx;
    g_player_lock.unlock();
    ASSERT_EQ(opened, 0);
    EXPECT_TRUE(same);
    EXPECT_TRUE(closed);
    EXPECT_EQ(missing, -1);
    EXPECT_TRUE(none);
}

int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) n++;
    return n;
}

TEST_F(Decode, FailedOpensAreTriedFourTimes) {
    write_text(dir_.file("noise.mp3"), std::string(5000, 'x'));
    std::string missing = dir_.file("missing.mp3");
    g_verbose = 1;
    g_player_lock.lock();
    ::testing::internal::CaptureStdout();
    int r_missing = open_song(missing.c_str());
    std::string out_missing = ::testing::internal::GetCapturedStdout();
    ::testing::internal::CaptureStdout();
    int r_mms = open_song("mms://127.0.0.1:9/x");
    std::string out_mms = ::testing::internal::GetCapturedStdout();
    int r_noise = open_song(dir_.file("noise.mp3").c_str());
    g_player_lock.unlock();
    g_verbose = 0;

    EXPECT_EQ(r_missing, -1);
    EXPECT_EQ(r_mms, -1);
    EXPECT_EQ(r_noise, -1);
    EXPECT_EQ(count(out_missing, " enter open_song!\n"), 4);
    EXPECT_EQ(count(out_missing, " Can't open " + missing + "!\n"), 4);
    EXPECT_EQ(count(out_missing, "error when av_init"), 1);
    for (const char* name : {"mms://", "mmst://", "mmsh://", "mmsu://"})
        EXPECT_EQ(count(out_mms, std::string(" Can't open ") + name + "127.0.0.1:9/x!"), 1) << name;
    EXPECT_EQ(g_player->fmt_ctx, nullptr);
    EXPECT_EQ(g_player->codec_ctx, nullptr);
    EXPECT_EQ(g_player->stream_index, -1);
}

// Bytes this process has read so far (every read call, whatever the file).
long long bytes_read_so_far() {
    std::string io = read_text("/proc/self/io");
    size_t at = io.find("rchar: ");
    return at == std::string::npos ? -1 : atoll(io.c_str() + at + 7);
}

// A file of zeros under a song's name holds no frame: it is given up within
// the read bounds, not read (and held) whole by four attempts.
TEST_F(Decode, ZerosAreGivenUpWithinTheReadBound) {
    const std::string zeros = dir_.file("zeros.mp3");
    constexpr off_t kSize = off_t(64) << 20;
    ASSERT_TRUE(write_text(zeros, ""));
    ASSERT_EQ(truncate(zeros.c_str(), kSize), 0);  // sparse: costs the disk nothing
    long long before = bytes_read_so_far();
    ASSERT_GE(before, 0);
    g_player_lock.lock();
    int r = open_song(zeros.c_str());
    g_player_lock.unlock();
    EXPECT_EQ(r, -1);
    EXPECT_LT(bytes_read_so_far() - before, OPEN_ATTEMPTS * (HEADER_READ_LIMIT + FRAME_READ_LIMIT));
    EXPECT_EQ(g_player->fmt_ctx, nullptr);
}

TEST(AttemptUrl, OnlyMmsColonUrlsChangeAndStayBounded) {
    char out[URL_SIZE];
    for (int i = 0; i < 4; i++) {
        attempt_url("/tmp/mnt/sda1/mms.mp3", i, out, sizeof out);
        EXPECT_STREQ(out, "/tmp/mnt/sda1/mms.mp3");
    }
    std::string longest = "mms:" + std::string(URL_SIZE - 5, 'a');
    attempt_url(longest.c_str(), 2, out, sizeof out);
    EXPECT_EQ(strlen(out), size_t(URL_SIZE - 1));
    EXPECT_EQ(std::string(out, 5), "mmsh:");
}

// Opening and closing many songs leaves nothing behind (LeakSanitizer in the
// ASan build reports what a song would leak).
TEST_F(Decode, ManySongsOpenAndClose) {
    for (int i = 0; i < 30; i++) {
        const Fixture& f = fixtures()[i % fixtures().size()];
        ASSERT_EQ(play_song(song(f.name), 5), 0) << f.name;
    }
    EXPECT_EQ(g_i2s_fd, 0);
}

}  // namespace
