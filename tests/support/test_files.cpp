#include "test_files.h"

#include <cstdlib>
#include <cstring>
#include <dirent.h>

TempDir::TempDir() {
    char tmpl[] = "/tmp/box_testXXXXXX";
    if (mkdtemp(tmpl)) path_ = tmpl;
}

TempDir::~TempDir() {
    if (!path_.empty()) system(("rm -rf '" + path_ + "'").c_str());
}

int TempDir::count_entries() const {
    DIR* d = opendir(path_.c_str());
    if (!d) return -1;
    int n = 0;
    while (dirent* e = readdir(d))
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) ++n;
    closedir(d);
    return n;
}

std::string read_all(FILE* f) {
    std::string s;
    char buf[8192];
    for (size_t n; f && (n = fread(buf, 1, sizeof buf, f)) > 0;) s.append(buf, n);
    return s;
}

std::string read_text(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    std::string s = read_all(f);
    if (f) fclose(f);
    return s;
}

std::vector<std::string> read_lines(const std::string& path) {
    std::vector<std::string> lines;
    std::string text = read_text(path);
    for (size_t start = 0, nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    return lines;
}

bool write_text(const std::string& path, const std::string& text) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    return fclose(f) == 0 && ok;
}
