#include "playstate.h"

#include "atomic_file.h"
#include "bounded.h"
#include "dlog.h"
#include "handles.h"
#include "player.h"
#include "player_lock.h"
#include "regular_file.h"
#include "shell.h"
#include "tagtext.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

static char s_override[PATH_MAX];
static const char* s_path = PLAYSTATE_FILE;

const char* playstate_path() { return s_path; }

void set_playstate_path(const char* path) {
    copy_bounded(s_override, sizeof s_override, path);
    s_path = s_override;
}

// Set once the daemon is ending: "STOPPED" is then the last word, and no
// save may replace the file after it.
static std::atomic<int> s_saves_closed{0};

static bool saves_open() { return s_saves_closed.load() == 0; }

void close_playstate_saves(int wait_ms) {
    // Waiting for the lock lets a save in progress finish first; one that
    // does not finish in time still sees the flag before its rename.
    timespec until;
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += wait_ms / 1000;
    until.tv_nsec += (long)(wait_ms % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec++;
        until.tv_nsec -= 1000000000L;
    }
    bool held = g_doc_lock.lock_until(until);
    s_saves_closed.store(1);
    if (held) g_doc_lock.unlock();
}

void mark_playstate_saves_closed() { s_saves_closed.store(1); }

void reopen_playstate_saves() { s_saves_closed.store(0); }

void remove_playstate_leftovers() { remove_atomic_leftovers(s_path, ATOMIC_FOLLOW_LINKS); }

// g_doc is shared by both threads; every access holds g_doc_lock.

char* xmlParseFile(const char* path) {
    // A FIFO or device under the file's name must not hold the thread.
    UniqueFile f(fopen_regular(path));
    if (!f) {
        dlog("filename == NULL in %s %d\n", "xmlParseFile", 262);
        return nullptr;
    }
    long size = -1;
    if (fseek(f.get(), 0, SEEK_END) == 0) size = ftell(f.get());
    if (size < 0 || fseek(f.get(), 0, SEEK_SET) != 0) {
        dlog("read string failed in %s %d\n", "xmlParseFile", 281);
        return nullptr;
    }
    // The working buffers hold less than XML_DOC_SIZE bytes; a longer file is
    // refused rather than cut.
    if ((size_t)size >= XML_DOC_SIZE) {
        dlog("file too long %ld in %s %d\n", size, "xmlParseFile", 268);
        return nullptr;
    }
    char* text = (char*)calloc((size_t)size + 2, 1);
    if (!text) {
        dlog("NULL == strinfile in %s %d\n", "xmlParseFile", 272);
        return nullptr;
    }
    if (fread(text, 1, (size_t)size, f.get()) != (size_t)size) {
        dlog("read string failed in %s %d\n", "xmlParseFile", 281);
        free(text);
        return nullptr;
    }
    return text;
}

// Replaces g_doc by the file's text; the caller holds g_doc_lock.
static int reparse_locked(const char* path) REQUIRES(g_doc_lock) {
    free(g_doc);
    g_doc = xmlParseFile(path);
    if (!g_doc) {
        dlog("Document not parsed successfully in %s %d\n", "iparsexmlfile", 174);
        return -1;
    }
    return 0;
}

int iparsexmlfile(const char* path) {
    if (!path) {
        dlog("filename == NULL in %s %d\n", "iparsexmlfile", 163);
        return -1;
    }
    MutexHold lock(&g_doc_lock);
    return reparse_locked(path);
}

char* getIxmlValue(const char* tag) {
    MutexHold lock(&g_doc_lock);
    if (reparse_locked(s_path) != 0) {
        dlog("parsexmlfile failed in %s %d\n", "getIxmlValue", 109);
        return nullptr;
    }
    size_t off = 0, len = 0;
    if (!tag_find_value(g_doc, strlen(g_doc), tag, &off, &len)) {
        dlog("curNode == NULL in %s %d \n", "getIxmlValue", 125);
        // Only with "--log": a garbled file would print it on every read.
        dlog("g_doc=%s\n", g_doc);
        return nullptr;
    }
    if (!fits_bounded(XML_VALUE_SIZE, len)) {
        dlog("value too long in %s %d\n", "getIxmlValue", 131);
        return nullptr;
    }
    char* value = (char*)malloc(len + 1);
    if (!value) {
        dlog("NULL == nodevalue in %s %d\n", "getIxmlValue", 143);
        return nullptr;
    }
    memcpy(value, g_doc + off, len);
    value[len] = '\0';
    return value;
}

// Takes the file as it is now into g_doc, so that an edit changes only its
// own value and keeps whatever the web interface wrote since the last read.
// A file that cannot be read (gone, not a regular file, too long) leaves
// the document in memory to edit, so a deleted file is written back from
// it. The caller holds g_doc_lock.
static void refresh_locked() REQUIRES(g_doc_lock) {
    char* now = xmlParseFile(s_path);
    if (!now) return;
    free(g_doc);
    g_doc = now;
}

// setIxmlValue on the current g_doc; the caller holds g_doc_lock.
static int edit_locked(const char* tag, const char* value) REQUIRES(g_doc_lock) {
    if (!g_doc) {
        dlog("g_doc == NULL in %s %d  globleNode=%s\n", "setIxmlValue", 45, "");
        return -1;
    }
    // A "<" in a written value would end it for every reader and could plant
    // a tag ahead of the real one, so only the text before it is stored.
    size_t vlen = tag_value_cut(value);
    if (!fits_bounded(XML_VALUE_SIZE, vlen)) {
        dlog("value too long in %s %d\n", "setIxmlValue", 52);
        return -1;
    }
    char edited[XML_DOC_SIZE];
    size_t doc_len = strlen(g_doc);
    long n = tag_replace_value(g_doc, doc_len, tag, value, vlen, edited, sizeof edited);
    if (n == -1) {
        dlog("phead == NULL in %s %d  globleNode=%s\n", "setIxmlValue", 60, g_doc);
        if (reparse_locked(s_path) != 0) dlog("parsexmlfile failed in %s %d\n", "setIxmlValue", 64);
        return -1;
    }
    if (n < 0) {
        dlog("document too long in %s %d\n", "setIxmlValue", 75);
        return -1;
    }
    char* doc = (char*)malloc((size_t)n + 1);
    if (!doc) {
        dlog("NULL == newglobledoc in %s %d\n", "setIxmlValue", 80);
        return -1;
    }
    memcpy(doc, edited, (size_t)n + 1);
    free(g_doc);
    g_doc = doc;
    return 0;
}

int setIxmlValue(const char* tag, const char* value) {
    MutexHold lock(&g_doc_lock);
    refresh_locked();
    return edit_locked(tag, value);
}

// The last document, read or written, that held all nine values: what a
// garbled file is written again from. Guarded by g_doc_lock.
static char s_whole[XML_DOC_SIZE] GUARDED_BY(g_doc_lock);
static bool s_have_whole GUARDED_BY(g_doc_lock) = false;
// A garbled file seen by the last repair check (one poll cycle ago).
static bool s_garbled_seen GUARDED_BY(g_doc_lock) = false;

static const char* const PLAYSTATE_TAGS[] = {"<url>",           "<position>", "<length>",
                                             "<playstate>",     "<volume>",   "<seek>",
                                             "<startposition>", "<songname>", "<loop>"};

static bool holds_every_tag(const char* doc) {
    size_t len = strlen(doc), off = 0, vlen = 0;
    for (const char* tag : PLAYSTATE_TAGS)
        if (!tag_find_value(doc, len, tag, &off, &vlen)) return false;
    return true;
}

// Keeps doc as the last whole document when it is one.
static void note_whole_locked(const char* doc) REQUIRES(g_doc_lock) {
    if (!holds_every_tag(doc)) return;
    copy_bounded(s_whole, sizeof s_whole, doc);
    s_have_whole = true;
}

static int save_locked() REQUIRES(g_doc_lock);

int repair_playstate_file(const char* state) {
    MutexHold lock(&g_doc_lock);
    char* now = xmlParseFile(s_path);
    if (!now) {
        s_garbled_seen = false;  // gone or unreadable: not a garbled file
        return 0;
    }
    bool whole = holds_every_tag(now);
    if (whole) note_whole_locked(now);
    free(now);
    if (whole || !s_have_whole) {
        s_garbled_seen = false;
        return 0;
    }
    // The web interface rewrites the file in place, so it may be seen cut
    // for a moment: only a file still garbled a cycle later is rewritten.
    if (!s_garbled_seen) {
        s_garbled_seen = true;
        return 0;
    }
    s_garbled_seen = false;
    char doc[XML_DOC_SIZE];
    long n = tag_replace_value(s_whole, strlen(s_whole), "<playstate>", state, tag_value_cut(state),
                               doc, sizeof doc);
    if (n < 0) return -1;
    char* copy = (char*)malloc((size_t)n + 1);
    if (!copy) return -1;
    memcpy(copy, doc, (size_t)n + 1);
    free(g_doc);
    g_doc = copy;
    if (save_locked() != 0) return -1;
    dlog("garbled file written again in %s\n", "repair_playstate_file");
    return 1;
}

// iSavexmlfile without the closing "sync"; the caller holds g_doc_lock.
static int save_locked() {
    if (!g_doc) {
        dlog("g_doc == NULL in %s %d\n", "iSavexmlfile", 200);
        return -1;
    }
    // Replaced whole through a synced temporary file, so a crash never
    // leaves a truncated file that nothing would recreate. The web server
    // may run as another user and may keep the file behind a link: both
    // stay as they were.
    if (!saves_open()) {
        dlog("saves closed in %s %d\n", "iSavexmlfile", 204);
        return -1;
    }
    if (write_file_atomic(s_path, g_doc, strlen(g_doc), ATOMIC_KEEP_OWNER | ATOMIC_FOLLOW_LINKS,
                          saves_open) != 0) {
        int err = errno;
        dlog("filename == NULL in %s %d\n", "iSavexmlfile", 206);
        errno = err;
        return -1;
    }
    note_whole_locked(g_doc);
    return 0;
}

// A stop on a full disk: "STOPPED" over "PLAYING" has the same length, so
// it may go into the file in place (see overwrite_value_in_place). Other
// values and other lengths wait for space.
static bool stop_in_place(const char* tag, const char* value, int err) {
    if (err != ENOSPC && err != EDQUOT) return false;
    if (strcmp(tag, "<playstate>") != 0 || strcmp(value, "STOPPED") != 0) return false;
    return overwrite_value_in_place(tag, value) == 0;
}

int iSavexmlfile() {
    {
        MutexHold lock(&g_doc_lock);
        if (save_locked() != 0) return -1;
    }
    run_shell("sync");
    return 0;
}

void free_doc() {
    MutexHold lock(&g_doc_lock);
    free(g_doc);
    g_doc = nullptr;
}

// Whether g_doc holds tag with a value other than expected (as stored: up
// to a "<"). A missing tag is left to the edit, which reports it. The
// caller holds g_doc_lock.
static bool differs_locked(const char* tag, const char* expected) REQUIRES(g_doc_lock) {
    size_t off = 0, len = 0;
    if (!g_doc || !tag_find_value(g_doc, strlen(g_doc), tag, &off, &len)) return false;
    return len != tag_value_cut(expected) || memcmp(g_doc + off, expected, len) != 0;
}

// Read, edit and write in one hold of g_doc_lock: another thread's write
// cannot come between, and the web interface can only meet this one in the
// short time from the read to the rename, which holds nothing slow beyond
// the new file's own fsync. With expected, the write is made only while
// the file's value of tag still reads so (SET_CHANGED otherwise).
static int set_value(const char* tag, const char* value, const char* name, int no,
                     const char* expected = nullptr) {
    {
        MutexHold lock(&g_doc_lock);
        refresh_locked();
        if (expected && differs_locked(tag, expected)) {
            dlog("changed meanwhile, not written in %s %d\n", name, no);
            return SET_CHANGED;
        }
        if (edit_locked(tag, value) != 0) {
            dlog("setValue failed in %s %d\n", name, no);
            return 1;
        }
        // A lost save is a failure too: the callers' retries rely on it.
        if (save_locked() != 0 && !stop_in_place(tag, value, errno)) return 1;
    }
    run_shell("sync");
    return 0;
}

static char* get_value(const char* tag, const char* name, int no) {
    char* v = getIxmlValue(tag);
    if (!v) dlog("getValue failed in %s %d\n", name, no);
    return v;
}

int setxmlSongpath(const char* v) { return set_value("<url>", v, "setxmlSongpath", 556); }
int set_url_if_seen(const char* v, const char* seen) {
    return set_value("<url>", v, "setxmlSongpath", 556, seen);
}
int setxmlPosition(const char* v) { return set_value("<position>", v, "setxmlPosition", 568); }
int setxmlLength(const char* v) { return set_value("<length>", v, "setxmlLength", 580); }
int setxmlPlaystate(const char* v) { return set_value("<playstate>", v, "setxmlPlaystate", 592); }
int setxmlVolume(const char* v) { return set_value("<volume>", v, "setxmlVolume", 604); }
int setxmlSeek(const char* v) { return set_value("<seek>", v, "setxmlSeek", 616); }
int setxmlStartposition(const char* v) {
    return set_value("<startposition>", v, "setxmlStartposition", 628);
}
int setxmlSongname(const char* v) { return set_value("<songname>", v, "setxmlSongname", 640); }
int setxmlLoopMode(const char* v) { return set_value("<loop>", v, "setxmlLoopMode", 652); }

char* getxmlPath() { return get_value("<url>", "getxmlPath", 680); }
char* getxmlPosition() { return get_value("<position>", "getxmlPosition", 706); }
char* getxmlLength() { return get_value("<length>", "getxmlLength", 732); }
char* getxmlPlaystate() { return get_value("<playstate>", "getxmlPlaystate", 693); }
char* getxmlVolume() { return get_value("<volume>", "getxmlVolume", 667); }
char* getxmlSeek() { return get_value("<seek>", "getxmlSeek", 745); }
char* getxmlStartposition() { return get_value("<startposition>", "getxmlStartposition", 758); }
char* getxmlSongname() { return get_value("<songname>", "getxmlSongname", 719); }
char* getxmlLoopMode() { return get_value("<loop>", "getxmlLoopMode", 771); }
