// Opening a song with FFmpeg and the per-cycle decode step.
#pragma once

#include "player.h"

int open_song(const char* url);
void close_decoder();
int dorvu_dec_loop(player_ctx* ctx, int32_t state);
