// Play, pause, seek and stop from a second thread while the engine decodes
// on this one: the decode step must never use a context or the device that
// the other thread closes or moves (run under TSan in the TSan build).
#include "audio_fixture.h"
#include "engine.h"
#include "i2s.h"
#include "output.h"
#include "playstate.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <unistd.h>

namespace {

int no_shell(const char*) { return 0; }

struct Remote {
    std::string url;
    std::string journal;
    int rounds;
};

int opens_in(const std::string& journal) {
    int n = 0;
    for (const std::string& line : read_lines(journal)) n += line.rfind("open ", 0) == 0;
    return n;
}

// Waits (up to 5 s) until the device has been opened more than `seen` times.
void wait_reopen(const std::string& journal, int seen) {
    for (int i = 0; i < 500 && opens_in(journal) <= seen; i++) usleep(10 * 1000);
}

// What the playlist thread does when the web interface asks for it.
void* playlist_side(void* arg) {
    const Remote* r = static_cast<const Remote*>(arg);
    player_ctx* ctx = g_player;
    wait_reopen(r->journal, 0);
    usleep(50 * 1000);
    for (int i = 0; i < r->rounds; i++) {
        output_pause();
        usleep(20 * 1000);
        output_play();
        usleep(40 * 1000);
        player_seek(ctx, 1);  // a start position applied on this thread
        usleep(30 * 1000);
        apply_startposition(0);
        output_seek(1);
        usleep(40 * 1000);
        int seen = opens_in(r->journal);
        output_set_uri(r->url.c_str());  // stops on this thread
        output_play();
        wait_reopen(r->journal, seen);
        usleep(50 * 1000);
    }
    post_command(ctx, CMD_QUIT);
    return nullptr;
}

TEST(EngineRace, PlayPauseSeekStopFromThePlaylistThreadWhileDecoding) {
    TempDir dir;
    use_standin_dir(dir);
    setenv("BOX_I2S_SPEED", "1", 1);
    set_playstate_path(dir.file("playusb.xml").c_str());
    write_text(dir.file("playusb.xml"), playstate_doc("50"));
    iparsexmlfile(playstate_path());
    g_engine_shell = no_shell;
    ASSERT_EQ(output_gstreamer_init(), 0);

    Remote remote{song("stereo441.flac"), dir.file("journal"), 4};
    ASSERT_FALSE(remote.url.empty());
    Nset_uri(g_player, remote.url.c_str());
    post_command(g_player, CMD_PLAY);
    pthread_t t;
    ASSERT_EQ(pthread_create(&t, nullptr, playlist_side, &remote), 0);
    dorvu_loop(g_player);  // returns on CMD_QUIT
    pthread_join(t, nullptr);
    g_player = nullptr;

    // Every opening was muted and closed before the next one; none is left.
    int opens = 0;
    std::string previous = "close";
    for (const std::string& line : read_lines(dir.file("journal"))) {
        if (line.rfind("open ", 0) == 0) {
            EXPECT_EQ(previous.rfind("close", 0), 0u) << "opened twice";
            opens++;
        }
        if (line.rfind("close ", 0) == 0) {
            EXPECT_EQ(previous, "MUTE 1");
        }
        previous = line;
    }
    EXPECT_EQ(previous.rfind("close ", 0), 0u);
    // The first play and one per round, more when a play overwrote a pause
    // not yet taken (a play while playing restarts the song).
    EXPECT_GE(opens, 5);
    EXPECT_EQ(g_i2s_fd, 0);
    // Decoding went on between the interruptions.
    EXPECT_GT(wav_samples(dir.file("pcm-1.wav")).size(), 44100u / 10);
    free_doc();
}

}  // namespace
