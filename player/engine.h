// The playback engine: the 5 ms loop on the main thread and the play, pause,
// stop, seek and new-URL sequences that both threads run.
#pragma once

#include "player.h"

// Decode steps an ended input waits before the song counts as finished.
constexpr int32_t END_WAIT_CYCLES = 201;

// The shell runner n_stop uses for its cache flush; tests replace it so
// that the build host's page cache is left alone.
extern int (*g_engine_shell)(const char* cmd);

int dorvu_loop(player_ctx* ctx);
int player_play();
int player_pause();
int n_stop();
int player_seek(player_ctx* ctx, int32_t offset);
int apply_startposition(int32_t seconds);
int play_next_song(player_ctx* ctx);
int Nset_uri(player_ctx* ctx, const char* url);
int32_t get_position_sec();
int player_free();

// ctx->state read under g_player_lock.
int32_t player_state();
