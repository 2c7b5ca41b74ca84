#include "output.h"

#include "disklist.h"
#include "dlog.h"
#include "engine.h"
#include "i2s.h"
#include "player_lock.h"

#include <cstdlib>

// player_create: FFmpeg registers its formats and codecs by itself; the
// locks are initialised statically.
int output_gstreamer_init() {
    {
        MutexHold p(&g_player_lock);
        __singlesong.position = 0;
        __singlesong.length = 0;
    }
    g_player = (player_ctx*)calloc(1, sizeof(player_ctx));
    if (!g_player) return -1;
    g_cur_url = (char*)calloc(URL_SIZE, 1);
    if (!g_cur_url) {
        free(g_player);
        g_player = nullptr;
        return -1;
    }
    return 0;
}

int play_mms_stream(const char* url) {
    dlog("====%s ENTER====\n", "play_mms_stream");
    scanudisklist();
    Nset_uri(g_player, url);
    post_command(g_player, CMD_PLAY);
    dorvu_loop(g_player);
    return 0;
}

void output_play() {
    dlog("output_play \n");
    post_command(g_player, CMD_PLAY);
}

void output_pause() {
    dlog("output_pause \n");
    post_command(g_player, CMD_PAUSE);
}

void output_stop() {
    dlog("output_stop \n");
    post_command(g_player, CMD_STOP);
}

void output_seek(int32_t seconds) {
    g_seek_target.store(seconds);
    post_command(g_player, CMD_SEEK);
}

void output_set_uri(const char* url) { Nset_uri(g_player, url); }

void output_set_volume(int volume) {
    dlog("output_set_volume %d\n", volume);
    i2s_set_volume(volume);
}

void output_set_mute(int flag) { dlog("output_set_mute %d\n", flag); }

void output_set_next_uri() { dlog("output_set_next_uri\n"); }

int output_gstreamer_get_position() {
    dlog("output_gstreamer_get_position\n");
    return get_position_sec();
}
