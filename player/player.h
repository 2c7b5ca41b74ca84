// The player daemon's shared state: the one player context, the globals
// both threads use, the four locks and the two one-slot mailboxes.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <pthread.h>

struct AVFormatContext;
struct AVCodecContext;
struct cJSON;

enum {
    CMD_NONE = 0,
    CMD_PLAY = 1,
    CMD_STOP = 2,
    CMD_PAUSE = 3,
    CMD_SEEK = 5,
    CMD_QUIT = 6,
};

enum {
    STATE_STOPPED = 0,
    STATE_PLAYING = 1,
    STATE_PAUSED = 3,
};

enum {
    LIST_MODE_PLAYLIST = 1,
    LIST_MODE_SINGLE = 2,
};

enum {
    PENDING_NONE = 0,
    PENDING_PLAYSTATE = 1,
    PENDING_URL = 2,
};

constexpr int URL_SIZE = 1024;
constexpr int DISK_LIST_PATH_SIZE = 256;
constexpr int VOLUME_STR_SIZE = 8;
constexpr int PLAYSTATE_SIZE = 16;

struct player_ctx {
    int32_t command;  // only post_command / take_command touch it
    int32_t state;
    // Borrowed from the song's media (song_media.h), which owns and closes
    // them; null while no song is open.
    AVFormatContext* fmt_ctx;
    AVCodecContext* codec_ctx;
    int32_t stream_index;
    int64_t duration_us;
    int64_t start_time_us;
    int64_t position_us;
};

struct single_song {
    int64_t position;  // start offset of the current entry, seconds
    int64_t length;    // length of the current entry, seconds; 0 = whole file
};

extern int32_t g_verbose;
extern char g_start_url[URL_SIZE];
extern int32_t g_i2s_fd;
extern player_ctx* g_player;
extern char* g_cur_url;
extern char* g_disk_list_text;
// Written by the playlist thread before it posts CMD_SEEK, read by the engine.
extern std::atomic<int32_t> g_seek_target;
extern int32_t g_song_stopped;
extern int64_t g_last_duration_us;
extern single_song __singlesong;
extern int32_t g_end_count;
extern int32_t g_song_ended;
extern int32_t g_list_mode;
extern int32_t g_playlist_cur;
extern int32_t g_playlist_count;
extern cJSON* g_playlist;
extern char* g_doc;
extern int32_t g_pending_write;
extern int32_t g_thread_exit;
extern char g_disk_list_path[DISK_LIST_PATH_SIZE];
extern char g_volume_str[VOLUME_STR_SIZE];
// Both threads use it: only through playstate_text / set_playstate_text.
extern char g_playstate[PLAYSTATE_SIZE];

extern pthread_mutex_t g_cmd_lock;
extern pthread_mutex_t g_player_lock;
extern pthread_mutex_t g_doc_lock;
extern pthread_mutex_t g_pending_lock;

// Mailboxes: one value each; a newer value overwrites one not yet taken.
void post_command(player_ctx* ctx, int32_t cmd);
int32_t take_command(player_ctx* ctx);
void post_pending_write(int32_t kind);
int32_t take_pending_write();
void request_thread_exit();
bool thread_exit_requested();

// What the daemon knows <url> to hold besides g_cur_url: the value it last
// wrote there (as stored: up to a "<") or last took as a request. A value
// read from the file is a new request only when it is neither. Both under
// g_player_lock.
extern char g_url_seen[URL_SIZE];
void note_url_seen(const char* text);
bool url_is_known(const char* text);

// g_playstate under g_pending_lock (never held with another lock).
void set_playstate_text(const char* text);
void playstate_text(char* out, size_t n);
