#include "engine.h"

#include "bounded.h"
#include "decoder.h"
#include "dlog.h"
#include "i2s.h"
#include "player_lock.h"
#include "playlist.h"
#include "playstate.h"
#include "shell.h"
#include "song_media.h"

#include <cstdlib>
#include <cstring>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/time.h>
}

int (*g_engine_shell)(const char* cmd) = run_shell;

static constexpr int64_t US_PER_SEC = 1000000;

int32_t player_state() {
    MutexHold p(&g_player_lock);
    return g_player ? g_player->state : STATE_STOPPED;
}

// Entries in a row that gave nothing to play, and whether the next entry
// is due after a failed open. Guarded by g_player_lock.
static int32_t s_unplayable_run GUARDED_BY(g_player_lock) = 0;
static bool s_skip_due GUARDED_BY(g_player_lock) = false;

void start_play_run() {
    MutexHold p(&g_player_lock);
    s_unplayable_run = 0;
    s_skip_due = false;
}

bool take_skip_due() {
    MutexHold p(&g_player_lock);
    bool due = s_skip_due;
    s_skip_due = false;
    return due;
}

// One more entry without audio: whether the list still holds one not tried
// in this run. count is the list's size, taken before the lock.
static bool next_after_unplayable(int count) TAKES_PLAYER_LOCK {
    MutexHold p(&g_player_lock);
    if (g_list_mode != LIST_MODE_PLAYLIST) return false;
    if (++s_unplayable_run >= count) {
        dlog("no song to play in %d entries\n", s_unplayable_run);
        s_unplayable_run = 0;
        return false;
    }
    return true;
}

bool song_ended_goes_on() {
    int count = playlist_size();
    {
        MutexHold p(&g_player_lock);
        if (song_media().wrote_audio) {
            s_unplayable_run = 0;
            return g_list_mode == LIST_MODE_PLAYLIST;
        }
    }
    return next_after_unplayable(count);
}

// "STOPPED" once nothing plays, the file before g_playstate: the poll takes
// a file that differs from g_playstate as a request, and "PLAYING" left in
// the file with "STOPPED" believed would start the song again.
static void publish_stopped() {
    int r = setxmlPlaystate("STOPPED");
    set_playstate_text("STOPPED");
    if (r != 0) post_pending_write(PENDING_PLAYSTATE);
}

static void close_device() REQUIRES(g_player_lock) {
    if (i2s_close() != 0) {
        dlog("aclose failed!\n");
        i2s_close();
    }
}

int player_play() {
    player_ctx* ctx = g_player;
    {
        MutexHold p(&g_player_lock);
        g_end_count = 0;
        g_song_ended = 0;
    }
    set_playstate_text("PLAYING");
    if (setxmlPlaystate("PLAYING") != 0) post_pending_write(PENDING_PLAYSTATE);

    int64_t start = 0, length = 0;
    bool opened = false;
    {
        MutexHold p(&g_player_lock);
        if (ctx->state == STATE_PAUSED) {
            ctx->state = STATE_PLAYING;
            return 0;
        }
        if (ctx->state == STATE_PLAYING) {
            g_song_stopped = 1;
            close_device();
            i2s_close();
            close_decoder();
            ctx->state = STATE_STOPPED;
        }
        if (open_song(g_cur_url) == -1) {
            // The command word belongs to the mailbox, which the poll may
            // post to meanwhile: kept under its lock, and cleared below.
            MutexHold c(&g_cmd_lock);
            int32_t cmd = ctx->command;
            memset(ctx, 0, sizeof *ctx);
            ctx->command = cmd;
            g_song_ended = 1;
        } else {
            open_audio_output(ctx);
            opened = true;
            // A freshly opened file is at its start. A position left from the
            // last song would make the seek to this entry's start look done
            // already when the same track is started again at once.
            ctx->position_us = 0;
            g_song_stopped = 0;
            ctx->state = STATE_PLAYING;
            start = __singlesong.position;
            length = __singlesong.length;
        }
    }
    if (!opened) {
        take_command(ctx);
        publish_stopped();
        bool next = next_after_unplayable(playlist_size());
        MutexHold p(&g_player_lock);
        s_skip_due = next;
        return 0;
    }
    if (start != 0) player_seek(ctx, 0);
    if (length != 0) {
        MutexHold p(&g_player_lock);
        ctx->duration_us = length * US_PER_SEC;
    }
    setxmlPlaystate("PLAYING");
    return 0;
}

int player_pause() {
    {
        MutexHold p(&g_player_lock);
        if (g_player->state == STATE_PLAYING) g_player->state = STATE_PAUSED;
    }
    set_playstate_text("PAUSE");
    if (setxmlPlaystate("PAUSE") != 0) post_pending_write(PENDING_PLAYSTATE);
    return 0;
}

int n_stop() {
    {
        MutexHold p(&g_player_lock);
        g_end_count = 0;
        g_song_ended = 0;
        g_song_stopped = 1;
        dlog("====%s ENTER====\n", "n_stop");
        player_ctx* ctx = g_player;
        if (ctx->state == STATE_PLAYING || ctx->state == STATE_PAUSED) {
            ctx->state = STATE_STOPPED;
            usleep(50 * 1000);
            close_device();
            close_decoder();
            g_engine_shell("sync");
            g_engine_shell("sync");
            g_engine_shell("echo 3 > /proc/sys/vm/drop_caches");
        }
    }
    set_playstate_text("STOPPED");
    setxmlPlaystate("STOPPED");
    setxmlPosition("0");
    setxmlStartposition("0");
    return 0;
}

int player_seek(player_ctx* ctx, int32_t offset) {
    MutexHold p(&g_player_lock);
    int64_t start = __singlesong.position;
    int64_t target = ((int64_t)offset + start) * US_PER_SEC;
    dlog("seek pos %lld,%d,%lld\n", (long long)target, offset, (long long)start);
    if (ctx->state != STATE_PLAYING && ctx->state != STATE_PAUSED) return 0;
    if (target == ctx->position_us) return 0;
    int64_t ts = target;
    bool has_stream = ctx->fmt_ctx && ctx->stream_index >= 0 &&
                      ctx->stream_index < (int32_t)ctx->fmt_ctx->nb_streams;
    if (has_stream)
        ts = av_rescale_q(target, AVRational{1, (int)US_PER_SEC},
                          ctx->fmt_ctx->streams[ctx->stream_index]->time_base);
    dlog("seek pos %lld, timestamp %lld, index %d, seek_flag %d\n", (long long)target,
         (long long)ts, ctx->stream_index, AVSEEK_FLAG_BACKWARD);
    // To the packet at or before the target, whose samples up to it are then
    // dropped (decode_step.cpp); where there is none, as near after it as
    // the demuxer can. The search for it gets a read bound of its own.
    SongMedia& media = song_media();
    media.play_from = -1;
    if (ctx->fmt_ctx) {
        media.bound.allow(FRAME_READ_LIMIT);
        if (av_seek_frame(ctx->fmt_ctx, ctx->stream_index, ts, AVSEEK_FLAG_BACKWARD) >= 0) {
            if (has_stream && ctx->codec_ctx && ctx->codec_ctx->sample_rate > 0)
                media.play_from =
                    av_rescale_q(ts, ctx->fmt_ctx->streams[ctx->stream_index]->time_base,
                                 AVRational{1, ctx->codec_ctx->sample_rate});
        } else {
            av_seek_frame(ctx->fmt_ctx, ctx->stream_index, ts, 0);
        }
    }
    media.next_sample = -1;
    if (ctx->codec_ctx) avcodec_flush_buffers(ctx->codec_ctx);
    ctx->position_us = target;
    ctx->start_time_us = av_gettime() - target;
    return 0;
}

int apply_startposition(int32_t seconds) {
    {
        MutexHold p(&g_player_lock);
        __singlesong.position = seconds;
    }
    return player_seek(g_player, 0);
}

int play_next_song(player_ctx* ctx) {
    {
        MutexHold p(&g_player_lock);
        if (g_list_mode != LIST_MODE_PLAYLIST) return 0;
        ctx->duration_us = 0;
        __singlesong.length = 0;
        __singlesong.position = 0;
    }
    playlist_next();
    sleep(2);
    return player_play();
}

int Nset_uri(player_ctx* ctx, const char* url) {
    dlog("====%s ENTER====\n", "Nset_uri");
    // The request as the file holds it: not a new one when read again.
    note_url_seen(url);
    {
        MutexHold p(&g_player_lock);
        // A request of its own: no pass over unplayable entries goes on.
        s_unplayable_run = 0;
        s_skip_due = false;
        ctx->duration_us = 0;
        __singlesong.length = 0;
        __singlesong.position = 0;
        g_list_mode = LIST_MODE_SINGLE;
    }
    n_stop();
    if (playlist_parse_disk_list() == 1) {
        int cur = updatelistnumber(url);
        {
            MutexHold p(&g_player_lock);
            g_playlist_cur = cur;
        }
        dlog("g_playlist_cur=%d in %s line %d", cur, "Nset_uri", 349);
        playlistGet_song(cur, g_cur_url);
        MutexHold p(&g_player_lock);
        g_list_mode = LIST_MODE_PLAYLIST;
    } else {
        MutexHold p(&g_player_lock);
        memset(g_cur_url, 0, URL_SIZE);
        copy_bounded(g_cur_url, URL_SIZE, url);
    }
    return 0;
}

int32_t get_position_sec() {
    int64_t v = 0;
    MutexHold p(&g_player_lock);
    if (g_song_stopped == 1) {
        v = g_last_duration_us;
    } else if (g_player->state == STATE_PLAYING) {
        g_last_duration_us = g_player->duration_us;
        v = g_player->position_us - __singlesong.position * US_PER_SEC;
    }
    return (int32_t)(v / US_PER_SEC);
}

int player_free() {
    MutexHold p(&g_player_lock);
    free(g_player);
    g_player = nullptr;
    free(g_cur_url);
    g_cur_url = nullptr;
    return 0;
}
