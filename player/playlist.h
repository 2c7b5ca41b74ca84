// The disk playlist in memory and song selection: find an entry by URL or
// by start offset, load an entry as the current song, choose the next one.
//
// These take g_player_lock (for g_cur_url, __singlesong, g_playlist_cur) and
// the play-state file's lock themselves: call them holding none of the
// player's locks.
#pragma once

#include "player.h"

// Bytes of a title that the start-offset search keeps.
constexpr int TITLE_KEEP = 64;

// Parses text and keeps its "Playlist" array (member name in any letter
// case) as g_playlist. Returns 1, or 0 when text is null, is not JSON, has
// no "Playlist" array or an empty one; the previous parse is released first.
int playlist_parse(const char* text) TAKES_LIST_LOCK;
// The same for g_disk_list_text, which a disk scan may replace meanwhile.
int playlist_parse_disk_list() TAKES_LIST_LOCK;

// Releases the current parse: g_playlist null, g_playlist_count 0.
void playlist_release() TAKES_LIST_LOCK;

// Index of the first entry whose "url" is url; 0 when none is.
int updatelistnumber(const char* url) TAKES_LIST_LOCK;

// Makes entry index the current song: url_buffer (URL_SIZE bytes) is
// cleared, then its "url" copied in and posted for the play-state file,
// "startpos" and "length" into __singlesong, "title" into <songname> (cut
// at a character to what the file's values hold). An entry without a
// usable "url" leaves url_buffer empty; an index outside the list loads
// nothing. Always 0.
int playlistGet_song(int index, char* url_buffer) TAKES_LIST_LOCK;

// Makes the first entry whose "startpos" is start the current one and
// publishes its title and length. 0, or -1 when no entry starts there.
int updatenumbyposition(int start) TAKES_LIST_LOCK;

// Advances g_playlist_cur as <loop> says (1 repeat, 2 the fixed random
// order, else the next, wrapping) and loads that entry into g_cur_url as
// playlistGet_song does. Always 0.
int playlist_next() TAKES_LIST_LOCK;
// Number of entries of the current parse (0 without one).
int playlist_size() TAKES_LIST_LOCK;
