#include "playlist.h"

#include "bounded.h"
#include "dlog.h"
#include "json_doc.h"
#include "player.h"
#include "player_lock.h"
#include "playstate.h"
#include "tagtext.h"

#include <cjson/cJSON.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

Mutex s_list_lock;

namespace {

// The parse g_playlist points into. A new URL replaces it on the playlist
// thread while the engine may be choosing the next song on the main thread,
// so every walk holds s_list_lock.
JsonDoc s_doc GUARDED_BY(s_list_lock);

bool named(const cJSON* m, const char* name) { return m->string && strcmp(m->string, name) == 0; }

const char* string_of(const cJSON* m) { return cJSON_IsString(m) ? m->valuestring : nullptr; }

// A number member by its integer value (cJSON saturates what int cannot
// hold); a member of another type reads as 0.
int int_of(const cJSON* m) { return cJSON_IsNumber(m) ? m->valueint : 0; }

// A "url" that g_cur_url can hold whole; a longer one counts as no URL.
const char* loadable_url(const cJSON* m) {
    const char* s = string_of(m);
    return s && strlen(s) < (size_t)URL_SIZE ? s : nullptr;
}

void release_locked() REQUIRES(s_list_lock) {
    s_doc.reset();
    g_playlist = nullptr;
    g_playlist_count = 0;
}

const cJSON* entry_at(int index) REQUIRES(s_list_lock) {
    if (!g_playlist || index < 0 || index >= g_playlist_count) return nullptr;
    return cJSON_GetArrayItem(g_playlist, index);
}

// Writes title into <songname> (once more on failure). A title longer than
// the file's values may be is cut at a character boundary, so the name
// shown still belongs to this song.
void publish_title(const char* title) {
    char shown[XML_VALUE_SIZE];
    size_t len = strlen(title);
    if (len >= sizeof shown) {
        len = sizeof shown - 1;
        while (len > 0 && (title[len] & 0xC0) == 0x80) len--;  // not inside a UTF-8 sequence
    }
    copy_bounded_n(shown, sizeof shown, title, len);
    if (setxmlSongname(shown) != 0) setxmlSongname(shown);
}

// Loads entry index; the caller holds s_list_lock.
void load_entry_locked(int index, char* url_buffer) REQUIRES(s_list_lock) {
    const cJSON* entry = entry_at(index);
    if (!entry) return;
    // Cleared before the walk: an entry without a usable "url" must not
    // play the previous song again.
    {
        MutexHold p(&g_player_lock);
        memset(url_buffer, 0, URL_SIZE);
    }
    for (const cJSON* m = entry->child; m; m = m->next) {
        if (named(m, "url")) {
            const char* url = loadable_url(m);
            if (!url) continue;
            {
                MutexHold p(&g_player_lock);
                copy_bounded(url_buffer, URL_SIZE, url);
            }
            post_pending_write(PENDING_URL);
        } else if (named(m, "startpos")) {
            int start = int_of(m);
            {
                MutexHold p(&g_player_lock);
                __singlesong.position = start;
            }
            dlog("__singlesong.position =%lld= %d", (long long)start, start);
        } else if (named(m, "length")) {
            MutexHold p(&g_player_lock);
            __singlesong.length = int_of(m);
        } else if (named(m, "title")) {
            const char* title = string_of(m);
            if (title) publish_title(title);
        }
    }
}

// playlistGet_song with s_list_lock already held.
void get_song_locked(int index, char* url_buffer) REQUIRES(s_list_lock) {
    dlog("====%s ENTER====\n", "playlistGet_song");
    if (g_verbose) {
        MutexHold p(&g_player_lock);
        dlog("!!!!!!!!!!!__singlesong.position=%lld!!!!!!  __singlesong.length=%lld........\n",
             (long long)__singlesong.position, (long long)__singlesong.length);
    }
    load_entry_locked(index, url_buffer);
}

}  // namespace

// playlist_parse with s_list_lock already held.
static int parse_locked(const char* text) REQUIRES(s_list_lock) {
    if (!text) return 0;
    release_locked();
    JsonDoc root(cJSON_Parse(text));
    if (!root) return 0;
    cJSON* array = cJSON_GetObjectItem(root.get(), "Playlist");
    if (!cJSON_IsArray(array)) return 0;
    int count = cJSON_GetArraySize(array);
    // An empty list has nothing to load or to wrap around: as no list.
    if (count <= 0) return 0;
    s_doc = std::move(root);
    g_playlist = array;
    g_playlist_count = count;
    return 1;
}

int playlist_parse(const char* text) {
    if (!text) return 0;
    MutexHold list(&s_list_lock);
    return parse_locked(text);
}

int playlist_parse_disk_list() {
    MutexHold list(&s_list_lock);
    return parse_locked(g_disk_list_text);
}

void playlist_release() {
    MutexHold list(&s_list_lock);
    release_locked();
}

int playlist_size() {
    MutexHold list(&s_list_lock);
    return g_playlist ? g_playlist_count : 0;
}

int updatelistnumber(const char* url) {
    dlog("====%s ENTER====\n", "updatelistnumber");
    if (!url) return 0;
    MutexHold list(&s_list_lock);
    int index = 0;
    for (const cJSON* e = g_playlist ? g_playlist->child : nullptr; e && index < g_playlist_count;
         e = e->next, index++) {
        for (const cJSON* m = e->child; m; m = m->next) {
            if (!named(m, "url")) continue;
            const char* s = loadable_url(m);
            if (s && strcmp(s, url) == 0) return index;
            break;
        }
    }
    return 0;
}

int playlistGet_song(int index, char* url_buffer) {
    MutexHold list(&s_list_lock);
    get_song_locked(index, url_buffer);
    return 0;
}

int updatenumbyposition(int start) {
    dlog("====%s ENTER====\n", "updatenumbyposition");
    dlog("enter %s\n", "updatenumbyposition");
    char title[TITLE_KEEP + 1] = "";
    int found = -1;
    {
        MutexHold list(&s_list_lock);
        int candidate = 0;
        int index = 0;
        for (const cJSON* e = g_playlist ? g_playlist->child : nullptr;
             e && index < g_playlist_count; e = e->next, index++) {
            for (const cJSON* m = e->child; m; m = m->next) {
                if (named(m, "startpos")) {
                    candidate = int_of(m);
                } else if (named(m, "title")) {
                    const char* s = string_of(m);
                    if (!s) continue;
                    size_t n = strlen(s);
                    copy_bounded_n(title, sizeof title, s, n < (size_t)TITLE_KEEP ? n : TITLE_KEEP);
                } else if (named(m, "length")) {
                    MutexHold p(&g_player_lock);
                    __singlesong.length = int_of(m);
                }
            }
            if (candidate == start) {
                found = index;
                break;
            }
        }
    }
    if (found < 0) return -1;

    long long length;
    {
        MutexHold p(&g_player_lock);
        g_playlist_cur = found;
        length = (long long)__singlesong.length;
    }
    dlog("xxxxxxxxxg_playlist_cur = %dxxxx%d  %dxxxxx\n", found, start, start);
    if (setxmlSongname(title) != 0) setxmlSongname(title);
    // The field holds six digits; a number it cannot hold whole is not
    // published at all rather than published wrong.
    char field[7];
    int n = snprintf(field, sizeof field, "%lld", length);
    if (n < 0 || n >= (int)sizeof field) {
        dlog("length %lld too long in %s\n", length, "updatenumbyposition");
        return 0;
    }
    if (setxmlLength(field) != 0) setxmlLength(field);
    return 0;
}

int playlist_next() {
    XmlValue loop(getxmlLoopMode());
    int mode = loop ? atoi(loop.get()) : 0;

    MutexHold list(&s_list_lock);
    int count = g_playlist ? g_playlist_count : 0;
    // No list to move in (it may be gone since the song started).
    if (count <= 0) return 0;
    int cur;
    {
        MutexHold p(&g_player_lock);
        cur = g_playlist_cur;
    }
    if (mode == 1) {
        // repeat the entry
    } else if (mode == 2) {
        srand((unsigned)cur);
        cur = rand() % count;
    } else {
        cur = (int)(((int64_t)cur + 1) % count);
    }
    {
        MutexHold p(&g_player_lock);
        g_playlist_cur = cur;
    }
    // The same load as a chosen song, with its lines; the list stays locked
    // so that a new parse cannot come between the choice and the load.
    get_song_locked(cur, g_cur_url);
    MutexHold p(&g_player_lock);
    dlog("get next song %d, %d:%s\n", count, cur, g_cur_url);
    return 0;
}
