// The player daemon's shared state: the one player context, the globals
// both threads use, the locks and the two one-slot mailboxes.
#pragma once

#include "player_lock.h"
#include "thread_safety.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

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

// The player's locks, the data each guards, and the one order they nest in:
//
//   s_list_lock -> g_player_lock -> g_doc_lock -> g_cmd_lock -> g_pending_lock
//
// A lock may be taken while holding only locks before it. clang checks all
// of it (-Wthread-safety): the data below is marked with its lock, the order
// with ACQUIRED_AFTER, functions with the locks they need or take.
//
//   s_list_lock     the disk list: its text g_disk_list_text and its parse,
//                   g_playlist and g_playlist_count with the JSON document
//                   behind them (playlist.cpp)
//   g_player_lock   the song and the engine: g_player's fields but the
//                   command word, the song's FFmpeg contexts and SongMedia
//                   (packet, frame, converter, read bound), g_cur_url's text,
//                   __singlesong, g_list_mode, g_playlist_cur,
//                   g_song_stopped, g_song_ended, g_end_count,
//                   g_last_duration_us, g_i2s_fd, g_volume_str, g_url_seen,
//                   and engine.cpp's s_unplayable_run and s_skip_due. A
//                   decode step holds it for one frame (and the packet read
//                   for it).
//   g_doc_lock      the play-state document: g_doc and playstate.cpp's last
//                   whole document; held from a read of the file to the
//                   rename of its rewrite
//   g_cmd_lock      the command mailbox: g_player->command
//   g_pending_lock  the engine's pending write, the exit request and the
//                   play state the daemon believes: g_pending_write,
//                   g_thread_exit, g_playstate
//
// Nestings today: s_list_lock -> g_player_lock (an entry loaded as the
// current song), s_list_lock -> g_doc_lock (its title published) and
// s_list_lock -> g_pending_lock (its URL posted); g_player_lock -> g_doc_lock
// (an opening song publishes its length, the device reads the volume);
// g_player_lock -> g_cmd_lock (a failed opening keeps the command word).
// g_cmd_lock and g_pending_lock are leaves: nothing is taken under them.
//
// Not guarded: g_verbose and g_start_url (main thread, set before the poll
// starts), g_disk_list_path (the start-up's disk scan only), g_seek_target
// (atomic), the g_player and g_cur_url pointers themselves (allocated before
// the poll starts; player_free releases them only on CMD_QUIT, which nothing
// posts while the poll runs).
extern Mutex s_list_lock;
extern Mutex g_player_lock ACQUIRED_AFTER(s_list_lock);
extern Mutex g_doc_lock ACQUIRED_AFTER(s_list_lock, g_player_lock);
extern Mutex g_cmd_lock ACQUIRED_AFTER(s_list_lock, g_player_lock, g_doc_lock);
extern Mutex g_pending_lock ACQUIRED_AFTER(s_list_lock, g_player_lock, g_doc_lock, g_cmd_lock);

// A function that takes a lock itself may be called holding only locks
// before it: these name the locks its caller must not hold.
#define TAKES_LIST_LOCK EXCLUDES(s_list_lock, g_player_lock, g_doc_lock, g_cmd_lock, g_pending_lock)
#define TAKES_PLAYER_LOCK EXCLUDES(g_player_lock, g_doc_lock, g_cmd_lock, g_pending_lock)
#define TAKES_DOC_LOCK EXCLUDES(g_doc_lock, g_cmd_lock, g_pending_lock)
#define TAKES_CMD_LOCK EXCLUDES(g_cmd_lock, g_pending_lock)
#define TAKES_PENDING_LOCK EXCLUDES(g_pending_lock)

struct player_ctx {
    int32_t command GUARDED_BY(g_cmd_lock);  // only post_command / take_command touch it
    int32_t state GUARDED_BY(g_player_lock);
    // Borrowed from the song's media (song_media.h), which owns and closes
    // them; null while no song is open.
    AVFormatContext* fmt_ctx GUARDED_BY(g_player_lock);
    AVCodecContext* codec_ctx GUARDED_BY(g_player_lock);
    int32_t stream_index GUARDED_BY(g_player_lock);
    int64_t duration_us GUARDED_BY(g_player_lock);
    int64_t start_time_us GUARDED_BY(g_player_lock);
    int64_t position_us GUARDED_BY(g_player_lock);
};

struct single_song {
    int64_t position;  // start offset of the current entry, seconds
    int64_t length;    // length of the current entry, seconds; 0 = whole file
};

extern int32_t g_verbose;
extern char g_start_url[URL_SIZE];
extern int32_t g_i2s_fd GUARDED_BY(g_player_lock);
extern player_ctx* g_player;
extern char* g_cur_url PT_GUARDED_BY(g_player_lock);
extern char* g_disk_list_text GUARDED_BY(s_list_lock);
// Written by the playlist thread before it posts CMD_SEEK, read by the engine.
extern std::atomic<int32_t> g_seek_target;
extern int32_t g_song_stopped GUARDED_BY(g_player_lock);
extern int64_t g_last_duration_us GUARDED_BY(g_player_lock);
extern single_song __singlesong GUARDED_BY(g_player_lock);
extern int32_t g_end_count GUARDED_BY(g_player_lock);
extern int32_t g_song_ended GUARDED_BY(g_player_lock);
extern int32_t g_list_mode GUARDED_BY(g_player_lock);
extern int32_t g_playlist_cur GUARDED_BY(g_player_lock);
extern int32_t g_playlist_count GUARDED_BY(s_list_lock);
extern cJSON* g_playlist GUARDED_BY(s_list_lock);
extern char* g_doc GUARDED_BY(g_doc_lock);
extern int32_t g_pending_write GUARDED_BY(g_pending_lock);
extern int32_t g_thread_exit GUARDED_BY(g_pending_lock);
extern char g_disk_list_path[DISK_LIST_PATH_SIZE];
extern char g_volume_str[VOLUME_STR_SIZE] GUARDED_BY(g_player_lock);
// Both threads use it: only through playstate_text / set_playstate_text.
extern char g_playstate[PLAYSTATE_SIZE] GUARDED_BY(g_pending_lock);

// Mailboxes: one value each; a newer value overwrites one not yet taken.
void post_command(player_ctx* ctx, int32_t cmd) TAKES_CMD_LOCK;
int32_t take_command(player_ctx* ctx) TAKES_CMD_LOCK;
void post_pending_write(int32_t kind) TAKES_PENDING_LOCK;
int32_t take_pending_write() TAKES_PENDING_LOCK;
void request_thread_exit() TAKES_PENDING_LOCK;
bool thread_exit_requested() TAKES_PENDING_LOCK;

// What the daemon knows <url> to hold besides g_cur_url: the value it last
// wrote there (as stored: up to a "<") or last took as a request. A value
// read from the file is a new request only when it is neither. Both under
// g_player_lock.
extern char g_url_seen[URL_SIZE] GUARDED_BY(g_player_lock);
void note_url_seen(const char* text) TAKES_PLAYER_LOCK;
bool url_is_known(const char* text) TAKES_PLAYER_LOCK;

// g_playstate under g_pending_lock (a leaf: nothing is taken under it).
void set_playstate_text(const char* text) TAKES_PENDING_LOCK;
void playstate_text(char* out, size_t n) TAKES_PENDING_LOCK;
