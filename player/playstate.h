// The play-state file: the daemon's only channel to the web interface.
// Values are found by searching their opening tag in the plain text; the
// document last read or edited lives in g_doc.
#pragma once

#include "handles.h"
#include "player.h"

constexpr const char* PLAYSTATE_FILE = "/etc/config/playusb.xml";

// The file every getter and setter uses; PLAYSTATE_FILE unless a test points
// it elsewhere before any thread starts.
const char* playstate_path();
void set_playstate_path(const char* path);

char* xmlParseFile(const char* path);
int iparsexmlfile(const char* path) TAKES_DOC_LOCK;
char* getIxmlValue(const char* tag) TAKES_DOC_LOCK;
int setIxmlValue(const char* tag, const char* value) TAKES_DOC_LOCK;
int iSavexmlfile() TAKES_DOC_LOCK;
void free_doc() TAKES_DOC_LOCK;

// Ending: waits up to wait_ms for a save in progress, then refuses every
// later save, so that nothing replaces the "STOPPED" written last.
void close_playstate_saves(int wait_ms) TAKES_DOC_LOCK;
// The same without any lock, for a signal handler.
void mark_playstate_saves_closed();
// Undoes the above (tests only).
void reopen_playstate_saves();
// Writes "STOPPED" into <playstate> of the file on disk, with calls that are
// safe in a signal handler: the file is read into a stack buffer, edited and
// put in place through a temporary file; g_doc and the locks are not used.
// 0, or -1 when the file cannot be read, has no such tag or cannot be
// replaced.
int write_stopped_to_file();
// When /etc/config is full the replacement file cannot be made. A value of
// the same length may then be overwritten in the file itself: no new block
// is needed and the file's size stays. Only the value's bytes are written,
// and only while the file still holds tag with a value of that length (the
// web interface may be rewriting it). Safe in a signal handler. 0, or -1.
int overwrite_value_in_place(const char* tag, const char* value);
// Writes the file again whole when it lacks any of the nine values (left
// empty or cut by a rewrite that failed) on two calls in a row, one poll
// cycle apart: from the last whole document read or written, with state in
// <playstate>. 1 when it was written, 0 when nothing was to be done, -1
// when the write failed.
int repair_playstate_file(const char* state) TAKES_DOC_LOCK;
// Removes temporary files that an interrupted save left beside the file.
void remove_playstate_leftovers();

// Setters return 0, or 1 when the value could not be placed in the document
// or the document could not be saved. Each edits the file as it is at that
// moment (the document in memory only when the file cannot be read) and
// writes it back whole: every other value stays as the file holds it.
int setxmlSongpath(const char* value) TAKES_DOC_LOCK;
int setxmlPosition(const char* value) TAKES_DOC_LOCK;
int setxmlLength(const char* value) TAKES_DOC_LOCK;
int setxmlPlaystate(const char* value) TAKES_DOC_LOCK;
int setxmlVolume(const char* value) TAKES_DOC_LOCK;
int setxmlSeek(const char* value) TAKES_DOC_LOCK;
int setxmlStartposition(const char* value) TAKES_DOC_LOCK;
int setxmlSongname(const char* value) TAKES_DOC_LOCK;
int setxmlLoopMode(const char* value) TAKES_DOC_LOCK;
// setxmlSongpath made only while <url> in the file still holds seen (the
// value the daemon last saw there); SET_CHANGED, with nothing written, when
// the web interface has put another value in meanwhile.
constexpr int SET_CHANGED = 2;
int set_url_if_seen(const char* value, const char* seen) TAKES_DOC_LOCK;

// Getters return a malloc'ed copy of the value (release with free), or null.
char* getxmlPath() TAKES_DOC_LOCK;
char* getxmlPosition() TAKES_DOC_LOCK;
char* getxmlLength() TAKES_DOC_LOCK;
char* getxmlPlaystate() TAKES_DOC_LOCK;
char* getxmlVolume() TAKES_DOC_LOCK;
char* getxmlSeek() TAKES_DOC_LOCK;
char* getxmlStartposition() TAKES_DOC_LOCK;
char* getxmlSongname() TAKES_DOC_LOCK;
char* getxmlLoopMode() TAKES_DOC_LOCK;

// Owner for a getter's result.
using XmlValue = MallocPtr<char>;
