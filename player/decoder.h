// Opening a song with FFmpeg and the per-cycle decode step.
//
// Locking: open_song and close_decoder run with g_player_lock held by their
// caller. dorvu_dec_loop takes g_player_lock itself for the whole step (one
// packet), so a stop or seek on the playlist thread waits for the step to
// end instead of closing or moving the contexts under it: call it without
// the lock.
#pragma once

#include "player.h"

// Probe limits for stream-info detection: bytes, and microseconds of media.
constexpr int64_t PROBE_SIZE = 307200;
constexpr int64_t PROBE_DURATION_US = 1000000;
// Length taken for a stream that does not know its duration.
constexpr int64_t UNKNOWN_DURATION_SEC = 16384;
constexpr int OPEN_ATTEMPTS = 4;

int open_song(const char* url) REQUIRES(g_player_lock);
void close_decoder() REQUIRES(g_player_lock);
int dorvu_dec_loop(player_ctx* ctx, int32_t state) TAKES_PLAYER_LOCK;

// The URL tried by attempt `attempt` (0-based) of open_song: an "mms:" URL
// gets t, h, u inserted after its first three characters on attempts 1..3.
void attempt_url(const char* url, int attempt, char* out, size_t size);

// The file a URL names on this machine (after "file:"), or null for a
// stream URL, which names a protocol before its first ":".
const char* local_path_of(const char* url);
