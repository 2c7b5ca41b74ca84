#include "music_name.h"

#include <cstring>
#include <strings.h>

bool is_music_name(const char* name) {
    static const char* const kExtensions[] = {"mp3", "mp2", "flac", "wma", "aac",
                                              "wav", "m4a", "ac3",  "ape"};
    const char* dot = strrchr(name, '.');
    if (!dot || dot == name) return false;
    for (const char* ext : kExtensions)
        if (strcasecmp(dot + 1, ext) == 0) return true;
    return false;
}
