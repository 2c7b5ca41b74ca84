#pragma once

// True when the text after the last dot is one of the nine music
// extensions (any case). A name whose only dot is its first character
// (".mp3") is no music name; a path such as "/m/.mp3" is one.
bool is_music_name(const char* name);
