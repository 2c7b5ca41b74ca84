// The playback engine: the 5 ms loop on the main thread and the play, pause,
// stop, seek and new-URL sequences that both threads run.
#pragma once

#include "player.h"

// Decode steps an ended input waits before the song counts as finished.
constexpr int32_t END_WAIT_CYCLES = 201;

// The shell runner n_stop uses for its cache flush; tests replace it so
// that the build host's page cache is left alone.
extern int (*g_engine_shell)(const char* cmd);

int dorvu_loop(player_ctx* ctx) TAKES_LIST_LOCK;
int player_play() TAKES_LIST_LOCK;
int player_pause() TAKES_PLAYER_LOCK;
int n_stop() TAKES_PLAYER_LOCK;
int player_seek(player_ctx* ctx, int32_t offset) TAKES_PLAYER_LOCK;
int apply_startposition(int32_t seconds) TAKES_PLAYER_LOCK;
int play_next_song(player_ctx* ctx) TAKES_LIST_LOCK;
int Nset_uri(player_ctx* ctx, const char* url) TAKES_LIST_LOCK;
int32_t get_position_sec() TAKES_PLAYER_LOCK;
int player_free() TAKES_PLAYER_LOCK;

// ctx->state read under g_player_lock.
int32_t player_state() TAKES_PLAYER_LOCK;

// Songs that give nothing to play. In playlist mode such an entry is passed
// over for the next one, until a whole pass of the list in a row gave
// nothing; whenever nothing plays, the file reads "STOPPED".
// A play the web interface asked for (CMD_PLAY) starts a new run.
void start_play_run() TAKES_PLAYER_LOCK;
// Whether an entry failed to open and the next one is due; clears it.
bool take_skip_due() TAKES_PLAYER_LOCK;
// The song that has just ended: whether the next entry is to follow (false
// after a whole pass without a song that played, or outside a list).
bool song_ended_goes_on() TAKES_LIST_LOCK;
