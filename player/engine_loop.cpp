// The engine loop: one command, the entry-length rule, one decode step and
// the end-of-song wait per 5 ms cycle.
#include "engine.h"

#include "decoder.h"
#include "dlog.h"
#include "player_lock.h"

#include <unistd.h>

static void take_and_run_command(player_ctx* ctx, bool* quit) {
    switch (take_command(ctx)) {
    case CMD_PLAY:
        start_play_run();
        player_play();
        break;
    case CMD_STOP: {
        {
            MutexHold p(&g_player_lock);
            ctx->position_us = 0;
        }
        n_stop();
        break;
    }
    case CMD_PAUSE:
        player_pause();
        break;
    case CMD_SEEK:
        player_seek(ctx, g_seek_target.load());
        break;
    case CMD_QUIT:
        n_stop();
        player_free();
        *quit = true;
        break;
    default:
        break;
    }
}

// A playlist entry with a length ends once its relative position passes it;
// an entry starting at second 1 is exempt (it plays to the end of the file).
static void check_entry_length(player_ctx* ctx) {
    MutexHold p(&g_player_lock);
    if (__singlesong.length == 0 || ctx->state != STATE_PLAYING) return;
    int64_t start = __singlesong.position;
    int64_t rel = ctx->position_us == 0 ? 0 : ctx->position_us - start * 1000000;
    if (start == 1 || ctx->duration_us == 0 || !(ctx->duration_us < rel)) return;
    dlog("song is timeout in %s line %d  curt=%lld gt=%lld  gcurpos=%lld  position=%lld\n",
         "dorvu_loop", 602, (long long)rel, (long long)ctx->duration_us,
         (long long)ctx->position_us, (long long)start);
    g_song_ended = 1;
    g_end_count = END_WAIT_CYCLES;
    ctx->position_us = 0;
    __singlesong.position = 0;
}

// True once an ended song has waited out its cycles; the song then counts
// as finished.
static bool song_finished(player_ctx* ctx) {
    MutexHold p(&g_player_lock);
    if (ctx->state != STATE_PLAYING || g_song_ended != 1) return false;
    if (g_end_count < END_WAIT_CYCLES) {
        ++g_end_count;
        return false;
    }
    dlog("song is finished in %s line %d\n", "dorvu_loop", 622);
    g_song_stopped = 1;
    ctx->position_us = 0;
    return true;
}

int dorvu_loop(player_ctx* ctx) {
    for (;;) {
        usleep(5 * 1000);
        bool quit = false;
        take_and_run_command(ctx, &quit);
        if (quit) return 0;
        check_entry_length(ctx);
        if (dorvu_dec_loop(ctx, player_state()) == -1) {
            MutexHold p(&g_player_lock);
            g_song_ended = 1;
        }
        if (song_finished(ctx)) {
            bool next = song_ended_goes_on();
            n_stop();
            if (next) play_next_song(ctx);
        } else if (take_skip_due()) {
            play_next_song(ctx);
        }
    }
}
