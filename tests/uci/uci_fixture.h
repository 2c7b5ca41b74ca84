// A config dir and a save dir in a fresh temporary folder, a context on
// them, and capture of what the code under test prints.
#pragma once

#include "test_files.h"

#include <cstdio>
#include <string>
#include <uci.h>
#include <unistd.h>

// Package names of the tests: the library also replays the default save dir
// (/tmp/.uci), where nobody keeps changes of packages so named.
#define WL "wltest"
#define NET "nettest"

struct UciDirs {
    TempDir tmp;
    std::string conf = tmp.file("config");
    std::string save = tmp.file("save");
    UciDirs();
    void config(const char* package, const std::string& text) const;
    std::string config_text(const char* package) const { return read_text(conf + "/" + package); }
    std::string saved(const char* package) const { return read_text(save + "/" + package); }
    // A context on these dirs; the caller frees it.
    uci_context* context() const;
};

// Everything written to fd (1 or 2) between construction and text().
class Capture {
public:
    explicit Capture(int fd);
    ~Capture();
    std::string text();

private:
    int fd_, saved_;
    FILE* file_;
    bool done_ = false;
};
