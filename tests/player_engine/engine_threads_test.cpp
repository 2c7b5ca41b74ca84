// The engine and the poll together on their own threads, with the play-state
// file rewritten every few milliseconds; built with TSan as well. The I2S
// device is the stand-in linked into this binary.
#include "engine.h"
#include "output.h"
#include "player.h"
#include "playstate.h"
#include "poll.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

std::atomic<int> g_shell_calls{0};
int count_shell(const char*) {
    ++g_shell_calls;
    return 0;
}

void short_sleep(unsigned s) { usleep(s * 10 * 1000); }

std::string slurp(const std::string& path) {
    std::string s;
    if (FILE* f = fopen(path.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
        fclose(f);
    }
    return s;
}

int count_of(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

std::string playusb(const std::string& url, const char* state, int volume, int seek, int start,
                    int loop) {
    char buf[1024];
    snprintf(buf, sizeof buf,
             "<playusb>\n<url>%s</url>\n<position>0</position>\n<length>0</length>\n"
             "<playstate>%s</playstate>\n<volume>%d</volume>\n<seek>%d</seek>\n"
             "<startposition>%d</startposition>\n<songname></songname>\n<loop>%d</loop>\n"
             "</playusb>\n",
             url.c_str(), state, volume, seek, start, loop);
    return buf;
}

TEST(EngineThreads, RapidRequestsFromTheFile) {
    char tmpl[] = "/tmp/engine_threadsXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    const std::string a = dir + "/a.wav", b = dir + "/b.flac", file = dir + "/playusb.xml";
    const std::string gen =
        "ffmpeg -loglevel error -nostdin -y -f lavfi -i sine=duration=2:sample_rate=8000 ";
    ASSERT_EQ(system((gen + a).c_str()), 0);
    ASSERT_EQ(system((gen + "-ac 2 " + b).c_str()), 0);
    setenv("BOX_I2S_DIR", (dir + "/i2s").c_str(), 1);
    setenv("BOX_I2S_SPEED", "8", 1);
    set_playstate_path(file.c_str());
    g_engine_shell = count_shell;

    std::string list = "{\"Playlist\":[{\"url\":\"" + a +
                       "\",\"title\":\"a\",\"startpos\":0,\"length\":0}," + "{\"url\":\"" + b +
                       "\",\"title\":\"b\",\"startpos\":1,\"length\":1}]}";
    g_disk_list_text = strdup(list.c_str());
    const std::string tmp = file + ".web";
    FILE* f = fopen(file.c_str(), "w");
    fputs(playusb(a, "PLAYING", 50, 0, 0, 0).c_str(), f);
    fclose(f);

    ASSERT_EQ(output_gstreamer_init(), 0);
    ASSERT_EQ(iparsexmlfile(file.c_str()), 0);
    Nset_uri(g_player, a.c_str());
    post_command(g_player, CMD_PLAY);
    std::atomic<int> loop_result{-1};
    std::thread engine([&] { loop_result = dorvu_loop(g_player); });

    std::atomic<bool> stop{false};
    std::thread poll([&] {
        PollMemory mem{80};
        PollOps ops = box_poll_ops();
        ops.sleep_s = short_sleep;
        while (!stop) poll_cycle(&mem, ops);
    });

    // The web interface at its most restless: a new request every 15 ms.
    const std::string urls[] = {a, b, dir + "/missing.mp3"};
    const char* states[] = {"PLAYING", "PAUSE", "STOPPED"};
    unsigned rng_state = 7;
    for (int i = 0; i < 200; ++i) {
        FILE* w = fopen(tmp.c_str(), "w");
        ASSERT_NE(w, nullptr);
        fputs(playusb(urls[rand_r(&rng_state) % 3], states[rand_r(&rng_state) % 3],
                      rand_r(&rng_state) % 101, rand_r(&rng_state) % 3, rand_r(&rng_state) % 2,
                      rand_r(&rng_state) % 3)
                  .c_str(),
              w);
        fclose(w);
        rename(tmp.c_str(), file.c_str());
        usleep(15 * 1000);
    }
    stop = true;
    poll.join();
    post_command(g_player, CMD_QUIT);
    engine.join();

    EXPECT_EQ(loop_result, 0);
    EXPECT_EQ(g_player, nullptr);
    EXPECT_EQ(g_i2s_fd, 0);
    // Every opening of the device was closed again, and stops that closed
    // it flushed the caches with their three commands.
    const std::string journal = slurp(dir + "/i2s/journal");
    EXPECT_GT(count_of(journal, "open pcm-"), 3) << journal;
    EXPECT_EQ(count_of(journal, "open pcm-"), count_of(journal, "close pcm-"));
    EXPECT_EQ(g_shell_calls % 3, 0);
    // The daemon's writes kept the document's structure: each tag once.
    const std::string doc = slurp(file);
    for (const char* tag : {"<url>", "<position>", "<length>", "<playstate>", "<volume>", "<seek>",
                            "<startposition>", "<songname>", "<loop>"})
        EXPECT_EQ(count_of(doc, tag), 1) << tag << " in " << doc;
    EXPECT_EQ(count_of(doc, "<playstate>STOPPED<"), 1) << doc;

    free(g_disk_list_text);
    g_disk_list_text = nullptr;
    free_doc();
    system(("rm -rf " + dir).c_str());
}

bool wait_until(bool (*cond)(), int ms) {
    for (int i = 0; i < ms / 10; ++i) {
        if (cond()) return true;
        usleep(10 * 1000);
    }
    return cond();
}

std::string g_journal_path;
std::string g_state_file;
// The state changes under the player lock; the file is written just after.
bool file_says_pause() {
    return slurp(g_state_file).find("<playstate>PAUSE<") != std::string::npos;
}
bool two_opens() { return count_of(slurp(g_journal_path), "open pcm-") == 2; }
bool playing() { return player_state() == STATE_PLAYING; }
bool paused() { return player_state() == STATE_PAUSED; }
bool stopped() { return player_state() == STATE_STOPPED; }
// The engine took the last command: the next one cannot overwrite it in the
// one-slot mailbox, however slow the engine's cycles are (an emulated CPU).
bool command_taken() {
    g_cmd_lock.lock();
    bool taken = g_player->command == CMD_NONE;
    g_cmd_lock.unlock();
    return taken;
}

// Commands straight to the engine, one at a time, on a single song.
TEST(EngineThreads, PlayPauseSeekStopOnOneSong) {
    char tmpl[] = "/tmp/engine_seqXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    const std::string song = dir + "/s.wav", file = dir + "/playusb.xml";
    ASSERT_EQ(system(("ffmpeg -loglevel error -nostdin -y -f lavfi -i "
                      "sine=duration=6:sample_rate=8000 " +
                      song)
                         .c_str()),
              0);
    setenv("BOX_I2S_DIR", (dir + "/i2s").c_str(), 1);
    setenv("BOX_I2S_SPEED", "1", 1);
    g_journal_path = dir + "/i2s/journal";
    set_playstate_path(file.c_str());
    g_engine_shell = count_shell;
    FILE* f = fopen(file.c_str(), "w");
    fputs(playusb("", "STOPPED", 50, 0, 0, 0).c_str(), f);
    fclose(f);
    ASSERT_EQ(iparsexmlfile(file.c_str()), 0);

    // g_disk_list_text stays null: no list, a single song
    ASSERT_EQ(g_disk_list_text, nullptr);
    ASSERT_EQ(output_gstreamer_init(), 0);
    Nset_uri(g_player, song.c_str());
    EXPECT_EQ(g_list_mode, LIST_MODE_SINGLE);
    player_ctx* ctx = g_player;
    post_command(ctx, CMD_PLAY);
    std::thread engine([ctx] { dorvu_loop(ctx); });

    ASSERT_TRUE(wait_until(playing, 10000));
    // Play while playing opens the song again from its start.
    post_command(ctx, CMD_PLAY);
    EXPECT_TRUE(wait_until(two_opens, 10000));
    ASSERT_TRUE(wait_until(playing, 10000));

    post_command(ctx, CMD_PAUSE);
    ASSERT_TRUE(wait_until(paused, 10000));
    EXPECT_EQ(get_position_sec(), 0);  // paused reports 0
    g_state_file = file;
    EXPECT_TRUE(wait_until(file_says_pause, 10000));
    output_seek(3);  // a seek while paused moves the position
    ASSERT_TRUE(wait_until(command_taken, 10000));
    post_command(ctx, CMD_PLAY);  // resume: no new opening
    ASSERT_TRUE(wait_until(playing, 10000));
    EXPECT_GE(get_position_sec(), 3);
    EXPECT_EQ(count_of(slurp(g_journal_path), "open pcm-"), 2);

    post_command(ctx, CMD_STOP);
    ASSERT_TRUE(wait_until(stopped, 10000));
    EXPECT_EQ(get_position_sec(), 6);  // after a stop: the song's length
    EXPECT_EQ(g_shell_calls % 3, 0);
    const int shells = g_shell_calls;
    output_seek(2);  // nothing to seek while stopped
    ASSERT_TRUE(wait_until(command_taken, 10000));
    EXPECT_EQ(player_state(), STATE_STOPPED);
    EXPECT_EQ(get_position_sec(), 6);
    post_command(ctx, CMD_QUIT);
    engine.join();
    EXPECT_EQ(g_shell_calls, shells);  // quitting while stopped closes nothing
    const std::string doc = slurp(file);
    EXPECT_NE(doc.find("<playstate>STOPPED<"), std::string::npos) << doc;
    EXPECT_NE(doc.find("<position>0<"), std::string::npos) << doc;
    free_doc();
    system(("rm -rf " + dir).c_str());
}

}  // namespace
