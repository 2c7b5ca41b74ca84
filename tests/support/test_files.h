// Temporary folders and whole-file reads and writes for unit tests.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// A fresh folder under /tmp, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Entries in the folder, dot files included, "." and ".." not.
    int count_entries() const;

private:
    std::string path_;
};

// Everything that is left to read from f ("" for a null f).
std::string read_all(FILE* f);
// The whole file, or "" when it cannot be opened.
std::string read_text(const std::string& path);
std::vector<std::string> read_lines(const std::string& path);
// Replaces the file's content; false when it cannot be written.
bool write_text(const std::string& path, const std::string& text);
