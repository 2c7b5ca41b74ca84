// The playlist thread of the daemon: the poll cycle driven with the box's
// own operations.
#include "poll.h"

#include "dlog.h"
#include "engine.h"
#include "i2s.h"
#include "output.h"
#include "player.h"
#include "player_lock.h"
#include "playlist.h"
#include "playstate.h"
#include "signals.h"

#include <pthread.h>
#include <unistd.h>

static void sleep_seconds(unsigned s) { sleep(s); }

PollOps box_poll_ops() {
    PollOps ops;
    ops.set_uri = output_set_uri;
    ops.play = output_play;
    ops.pause = output_pause;
    ops.seek = output_seek;
    ops.start_at = apply_startposition;
    ops.select_by_start = updatenumbyposition;
    ops.state = player_state;
    ops.position = get_position_sec;
    ops.set_volume = i2s_set_volume;
    ops.sleep_s = sleep_seconds;
    return ops;
}

void* updatePlayDate(void*) {
    use_fault_stack();
    sleep_seconds(2);
    if (iparsexmlfile(playstate_path()) != 0)
        dlog("parsexmlfile failed in %s %d\n", "updatePlayDate", 46);
    PollMemory mem;
    {
        // g_volume_str is refreshed under this lock when a song opens.
        MutexHold p(&g_player_lock);
        mem.volume = cached_volume();
    }
    const PollOps ops = box_poll_ops();
    while (poll_cycle(&mem, ops) == 0) {
    }
    return nullptr;
}

int start_playlist_thread() {
    pthread_t t;
    if (pthread_create(&t, nullptr, updatePlayDate, nullptr) != 0) {
        dlog("create the playlist thread failed!\n");
        return -1;
    }
    pthread_detach(t);
    dlog("create the playlist thread success!\n");
    return 0;
}
