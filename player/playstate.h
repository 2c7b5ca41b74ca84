// The play-state file: the daemon's only channel to the web interface.
// Values are found by searching their opening tag in the plain text; the
// document last read or edited lives in g_doc.
#pragma once

#include <cstdlib>
#include <memory>

constexpr const char* PLAYSTATE_FILE = "/etc/config/playusb.xml";

// The file every getter and setter uses; PLAYSTATE_FILE unless a test points
// it elsewhere before any thread starts.
const char* playstate_path();
void set_playstate_path(const char* path);

char* xmlParseFile(const char* path);
int iparsexmlfile(const char* path);
char* getIxmlValue(const char* tag);
int setIxmlValue(const char* tag, const char* value);
int iSavexmlfile();
void free_doc();

// Setters return 0, or 1 when the value could not be placed in the document.
int setxmlSongpath(const char* value);
int setxmlPosition(const char* value);
int setxmlLength(const char* value);
int setxmlPlaystate(const char* value);
int setxmlVolume(const char* value);
int setxmlSeek(const char* value);
int setxmlStartposition(const char* value);
int setxmlSongname(const char* value);
int setxmlLoopMode(const char* value);

// Getters return a malloc'ed copy of the value (release with free), or null.
char* getxmlPath();
char* getxmlPosition();
char* getxmlLength();
char* getxmlPlaystate();
char* getxmlVolume();
char* getxmlSeek();
char* getxmlStartposition();
char* getxmlSongname();
char* getxmlLoopMode();

struct FreeDeleter {
    void operator()(char* p) const { free(p); }
};
// Owner for a getter's result.
using XmlValue = std::unique_ptr<char, FreeDeleter>;
