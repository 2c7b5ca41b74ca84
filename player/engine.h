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

// Songs that give nothing to play. In playlist mode such an entry is passed
// over for the next one, until a whole pass of the list in a row gave
// nothing; whenever nothing plays, the file reads "STOPPED".
// A play the web interface asked for (CMD_PLAY) starts a new run.
void start_play_run();
// Whether an entry failed to open and the next one is due; clears it.
bool take_skip_due();
// The song that has just ended: whether the next entry is to follow (false
// after a whole pass without a song that played, or outside a list).
bool song_ended_goes_on();
