#include "poll.h"

#include "dlog.h"
#include "player.h"
#include "player_lock.h"
#include "playstate.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

// Hands the engine's pending write to the file. True when it was made; a
// refused one is posted again for the next cycle, and this cycle goes on, so
// that a value the file cannot take never stops the position, volume and
// request steps. A URL is written only over the one the daemon last saw in
// <url>: a song the web interface asked for meanwhile is not overwritten
// but taken as a request by this cycle's URL step.
static bool do_pending_write() {
    int32_t kind = take_pending_write();
    if (kind == PENDING_NONE) return false;
    int r = 0;
    if (kind == PENDING_PLAYSTATE) {
        char state[PLAYSTATE_SIZE];
        playstate_text(state, sizeof state);
        r = setxmlPlaystate(state);
    } else if (kind == PENDING_URL) {
        char url[URL_SIZE], seen[URL_SIZE];
        {
            MutexHold p(&g_player_lock);
            memcpy(url, g_cur_url, URL_SIZE);
            memcpy(seen, g_url_seen, URL_SIZE);
        }
        r = set_url_if_seen(url, seen);
        if (r == SET_CHANGED) return false;
        if (r == 0) note_url_seen(url);
    }
    if (r != 0) {
        post_pending_write(kind);
        return false;
    }
    return true;
}

int poll_cycle(PollMemory* mem, const PollOps& ops) {
    if (thread_exit_requested()) {
        free_doc();
        return 1;
    }
    ops.sleep_s(1);
    if (do_pending_write()) {
        ops.sleep_s(1);
        return 0;
    }
    {
        char believed[PLAYSTATE_SIZE];
        playstate_text(believed, sizeof believed);
        repair_playstate_file(believed);
    }

    // The stop of a new URL resets <startposition>, so a start position sent
    // with the URL is read before it.
    XmlValue held_start;
    // Whatever it reads, <url> now holds what the daemon saw there last, also
    // when that is the current song's URL: the next entry's URL may replace
    // it, and it is no request once the current song has changed.
    XmlValue url(getxmlPath());
    if (url && !url_is_known(url.get())) {
        dlog("path have changed %s in %s %d\n", url.get(), "updatePlayDate", 106);
        note_url_seen(url.get());
        held_start.reset(getxmlStartposition());
        ops.set_uri(url.get());
        ops.play();
        ops.sleep_s(1);
    } else if (url) {
        note_url_seen(url.get());
    }

    XmlValue state(getxmlPlaystate());
    char believed[PLAYSTATE_SIZE];
    playstate_text(believed, sizeof believed);
    if (state && strcmp(state.get(), believed) != 0) {
        dlog("***  state changed now=%s old=%s ***\n", state.get(), believed);
        if (strcmp(state.get(), "PLAYING") == 0) {
            setxmlPlaystate("PLAYING");
            ops.play();
        } else if (strcmp(state.get(), "PAUSE") == 0) {
            ops.pause();
        }
        ops.sleep_s(1);
    }

    XmlValue volume(getxmlVolume());
    if (volume) {
        int v = atoi(volume.get());
        if (v != mem->volume) {
            ops.set_volume(v);
            mem->volume = v;
        }
    }

    XmlValue seek(getxmlSeek());
    if (seek && atoi(seek.get()) > 0) {
        ops.seek(atoi(seek.get()));
        setxmlSeek("0");
    }

    XmlValue start(held_start ? held_start.release() : getxmlStartposition());
    if (start && atoi(start.get()) > 0) {
        int s = atoi(start.get());
        ops.start_at(s);
        ops.select_by_start(s);
        setxmlStartposition("0");
    }

    if (ops.state() == STATE_PLAYING) {
        char text[16];
        snprintf(text, sizeof text, "%d", ops.position());
        setxmlPosition(text);
    }
    return 0;
}
