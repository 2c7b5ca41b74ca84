#include "player.h"

int32_t g_verbose = 0;
char g_start_url[URL_SIZE] = "";
int32_t g_i2s_fd = 0;
player_ctx* g_player = nullptr;
char* g_cur_url = nullptr;
char* g_disk_list_text = nullptr;
std::atomic<int32_t> g_seek_target{0};
int32_t g_song_stopped = 0;
int64_t g_last_duration_us = 0;
single_song __singlesong = {0, 0};
int32_t g_end_count = 0;
int32_t g_song_ended = 0;
int32_t g_list_mode = 0;
int32_t g_playlist_cur = 0;
int32_t g_playlist_count = 0;
cJSON* g_playlist = nullptr;
char* g_doc = nullptr;
int32_t g_pending_write = PENDING_NONE;
int32_t g_thread_exit = 0;
char g_disk_list_path[DISK_LIST_PATH_SIZE] = "";
char g_volume_str[VOLUME_STR_SIZE] = "80";
char g_playstate[PLAYSTATE_SIZE] = "STOPPED";
char g_url_seen[URL_SIZE] = "";

Mutex g_cmd_lock;
Mutex g_player_lock;
Mutex g_doc_lock;
Mutex g_pending_lock;
