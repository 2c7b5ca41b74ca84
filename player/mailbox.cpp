#include "player.h"

#include "bounded.h"
#include "player_lock.h"
#include "tagtext.h"

#include <cstring>

void post_command(player_ctx* ctx, int32_t cmd) {
    MutexHold c(&g_cmd_lock);
    ctx->command = cmd;
}

int32_t take_command(player_ctx* ctx) {
    MutexHold c(&g_cmd_lock);
    int32_t cmd = ctx->command;
    ctx->command = CMD_NONE;
    return cmd;
}

void post_pending_write(int32_t kind) {
    MutexHold w(&g_pending_lock);
    g_pending_write = kind;
}

int32_t take_pending_write() {
    MutexHold w(&g_pending_lock);
    int32_t kind = g_pending_write;
    g_pending_write = PENDING_NONE;
    return kind;
}

void request_thread_exit() {
    MutexHold w(&g_pending_lock);
    g_thread_exit = 1;
}

bool thread_exit_requested() {
    MutexHold w(&g_pending_lock);
    return g_thread_exit != 0;
}

void set_playstate_text(const char* text) {
    MutexHold w(&g_pending_lock);
    copy_bounded(g_playstate, sizeof g_playstate, text);
}

void playstate_text(char* out, size_t n) {
    MutexHold w(&g_pending_lock);
    copy_bounded(out, n, g_playstate);
}

void note_url_seen(const char* text) {
    MutexHold p(&g_player_lock);
    copy_bounded_n(g_url_seen, sizeof g_url_seen, text, tag_value_cut(text));
}

bool url_is_known(const char* text) {
    MutexHold p(&g_player_lock);
    return strcmp(text, g_url_seen) == 0 || (g_cur_url && strcmp(text, g_cur_url) == 0);
}
