#include "player.h"

#include "bounded.h"
#include "tagtext.h"

#include <cstring>

void post_command(player_ctx* ctx, int32_t cmd) {
    pthread_mutex_lock(&g_cmd_lock);
    ctx->command = cmd;
    pthread_mutex_unlock(&g_cmd_lock);
}

int32_t take_command(player_ctx* ctx) {
    pthread_mutex_lock(&g_cmd_lock);
    int32_t cmd = ctx->command;
    ctx->command = CMD_NONE;
    pthread_mutex_unlock(&g_cmd_lock);
    return cmd;
}

void post_pending_write(int32_t kind) {
    pthread_mutex_lock(&g_pending_lock);
    g_pending_write = kind;
    pthread_mutex_unlock(&g_pending_lock);
}

int32_t take_pending_write() {
    pthread_mutex_lock(&g_pending_lock);
    int32_t kind = g_pending_write;
    g_pending_write = PENDING_NONE;
    pthread_mutex_unlock(&g_pending_lock);
    return kind;
}

void request_thread_exit() {
    pthread_mutex_lock(&g_pending_lock);
    g_thread_exit = 1;
    pthread_mutex_unlock(&g_pending_lock);
}

bool thread_exit_requested() {
    pthread_mutex_lock(&g_pending_lock);
    bool r = g_thread_exit != 0;
    pthread_mutex_unlock(&g_pending_lock);
    return r;
}

void set_playstate_text(const char* text) {
    pthread_mutex_lock(&g_pending_lock);
    copy_bounded(g_playstate, sizeof g_playstate, text);
    pthread_mutex_unlock(&g_pending_lock);
}

void playstate_text(char* out, size_t n) {
    pthread_mutex_lock(&g_pending_lock);
    copy_bounded(out, n, g_playstate);
    pthread_mutex_unlock(&g_pending_lock);
}

void note_url_seen(const char* text) {
    pthread_mutex_lock(&g_player_lock);
    copy_bounded_n(g_url_seen, sizeof g_url_seen, text, tag_value_cut(text));
    pthread_mutex_unlock(&g_player_lock);
}

bool url_is_known(const char* text) {
    pthread_mutex_lock(&g_player_lock);
    bool known = strcmp(text, g_url_seen) == 0 || (g_cur_url && strcmp(text, g_cur_url) == 0);
    pthread_mutex_unlock(&g_player_lock);
    return known;
}
