// Arbitrary list text through the parser and every selection operation.
// Input: one byte choosing <loop>, one byte of start offset, then the text.
#include "player.h"
#include "playlist.h"
#include "playstate.h"
#include "shell.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

// The play-state setters end with a system-wide "sync"; one per input would
// flush the whole machine, so this target runs no shell command at all.
int run_shell(const char*) { return 0; }

namespace {

char s_url[URL_SIZE];
std::string s_state;

void cleanup() {
    unlink(s_state.c_str());
    rmdir(s_state.substr(0, s_state.rfind('/')).c_str());
}

void setup_once() {
    if (!s_state.empty()) return;
    char tmpl[] = "/dev/shm/playlist_fuzzXXXXXX";
    char tmpl_tmp[] = "/tmp/playlist_fuzzXXXXXX";
    const char* dir = mkdtemp(tmpl);
    if (!dir) dir = mkdtemp(tmpl_tmp);
    if (!dir) abort();
    s_state = std::string(dir) + "/playusb.xml";
    set_playstate_path(s_state.c_str());
    g_cur_url = s_url;
    atexit(cleanup);
}

void write_state(uint8_t loop_choice) {
    // Always present: a missing tag prints the whole document on every read.
    static const char* loops[] = {"", "1", "2", "0"};
    FILE* f = fopen(s_state.c_str(), "w");
    if (!f) abort();
    fprintf(f,
            "<url></url><position>0</position><length>0</length><playstate>PLAYING</playstate>"
            "<volume>80</volume><seek>0</seek><startposition>0</startposition>"
            "<songname></songname><loop>%s</loop>",
            loops[loop_choice & 3]);
    fclose(f);
    iparsexmlfile(s_state.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    setup_once();
    write_state(data[0]);
    int start = data[1];
    std::string text(reinterpret_cast<const char*>(data + 2), size - 2);

    g_playlist_cur = 0;
    __singlesong = {0, 0};
    if (playlist_parse(text.c_str())) {
        if (g_playlist_count <= 0) abort();
        g_playlist_cur = updatelistnumber("/tmp/mnt/sda1/a.mp3");
        playlistGet_song(g_playlist_cur, g_cur_url);
        updatenumbyposition(start);
        playlist_next();
        playlist_next();
        // Every move stays inside the list.
        if (g_playlist_cur < 0 || g_playlist_cur >= g_playlist_count) abort();
    } else if (g_playlist || g_playlist_count) {
        abort();
    }
    playlist_release();
    playlist_next();
    take_pending_write();
    free_doc();
    return 0;
}
