// dorvu: the player daemon. Plays the USB disk's songs through the I2S
// device as the play-state file directs.
#include "dlog.h"
#include "output.h"
#include "player.h"
#include "playstate.h"
#include "poll.h"
#include "signals.h"

#include "bounded.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    // Lines reach a log pipe as they are printed.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const int handlers = install_signal_handlers();

    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--help") == 0) {
            printf(
                "Command format : dorvu [option]\n"
                "--help : display command help.\n"
                "--log : display log infomation!.\n"
                "\n");
            return 0;
        }
        if (strcmp(argv[i], "--log") == 0) {
            g_verbose = 1;
            continue;
        }
        if (g_verbose) printf("Invalid parament!\n");
        return 1;
    }

    // Without the thread that takes SIGTERM, "killall dorvu" could never
    // stop the daemon: better not to start.
    if (handlers != 0) {
        dlog("install_signal_handlers failed!\n");
        return -1;
    }
    remove_playstate_leftovers();

    if (output_gstreamer_init() != 0) {
        dlog("output_gstreamer_init failed!\n");
        return -1;
    }
    start_playlist_thread();

    XmlValue url(getxmlPath());
    if (url) {
        memset(g_start_url, 0, sizeof g_start_url);
        copy_bounded(g_start_url, sizeof g_start_url, url.get());
    }
    if (play_mms_stream(g_start_url) < 0) {
        dlog("Error,please try later!\n");
        return 0;
    }
    return 0;
}
