// The output operations through which start-up and the playlist thread
// drive the engine.
#pragma once

#include "player.h"

int output_gstreamer_init();
int play_mms_stream(const char* url);
void output_play();
void output_pause();
void output_stop();
void output_seek(int32_t seconds);
void output_set_uri(const char* url);
void output_set_volume(int volume);
void output_set_mute(int flag);
void output_set_next_uri();
int output_gstreamer_get_position();
