// The player's play-state file through its own setters and getters:
//   cross_playstate write FILE   sets every value in turn (FILE must hold a document)
//   cross_playstate read FILE    prints every value the getters give
#include "playstate.h"

#include <cstdio>
#include <cstring>

namespace {

using Getter = char* (*)();
using Setter = int (*)(const char*);

struct Field {
    const char* name;
    Getter get;
    Setter set;
    const char* value;
};

// Values with the widths and characters a real session gives: numbers past
// 16 bits, a path of several bytes per character, "&" and ">" unescaped.
const Field kFields[] = {
    {"url", getxmlPath, setxmlSongpath, "/tmp/mnt/sda1/\xc3\x89t\xc3\xa9 & Co > live.ape"},
    {"position", getxmlPosition, setxmlPosition, "4000000"},
    {"length", getxmlLength, setxmlLength, "4294967"},
    {"playstate", getxmlPlaystate, setxmlPlaystate, "PLAYING"},
    {"volume", getxmlVolume, setxmlVolume, "87"},
    {"seek", getxmlSeek, setxmlSeek, "0"},
    {"startposition", getxmlStartposition, setxmlStartposition, "65537"},
    {"songname", getxmlSongname, setxmlSongname, "Track 07"},
    {"loop", getxmlLoopMode, setxmlLoopMode, "2"},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || (strcmp(argv[1], "write") != 0 && strcmp(argv[1], "read") != 0)) {
        fprintf(stderr, "usage: cross_playstate write|read FILE\n");
        return 2;
    }
    set_playstate_path(argv[2]);
    int failed = 0;
    for (const Field& f : kFields) {
        if (argv[1][0] == 'w') {
            // Each setter works on the file as the last one left it.
            free_doc();
            if (iparsexmlfile(argv[2]) != 0 || f.set(f.value) != 0) {
                printf("%s: not set\n", f.name);
                failed = 1;
            }
        } else {
            iparsexmlfile(argv[2]);
            XmlValue v(f.get());
            printf("%s=%s\n", f.name, v ? v.get() : "(none)");
        }
    }
    free_doc();
    return failed;
}
