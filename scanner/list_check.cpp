#include "disk_scan.h"
#include "json_text.h"
#include "list_words.h"
#include "music_name.h"
#include "name_matcher.h"
#include "top_dir.h"

#include "handles.h"

#include <cjson/cJSON.h>
#include <cstring>
#include <memory>

namespace {

struct JsonDeleter {
    void operator()(cJSON* j) const { cJSON_Delete(j); }
};

// The whole list as a zero-terminated text; empty when it can't be read.
std::string read_list(const char* list_path) {
    std::string text;
    UniqueFile f(fopen(list_path, "r"));
    if (!f || fseek(f.get(), 0, SEEK_END) != 0) return text;
    long size = ftell(f.get());
    if (size <= 0 || fseek(f.get(), 0, SEEK_SET) != 0) return text;
    text.resize((size_t)size);
    text.resize(fread(&text[0], 1, (size_t)size, f.get()));
    return text;
}

int count_entries(const std::string& text) {
    std::unique_ptr<cJSON, JsonDeleter> doc(cJSON_Parse(text.c_str()));
    if (!doc) return 0;
    cJSON* list = cJSON_GetObjectItem(doc.get(), "Playlist");
    return list ? cJSON_GetArraySize(list) : 0;
}

}  // namespace

bool url_fits(const DiskScan& s, const char* name) {
    return json_escaped_len(s.mount_dir) + json_escaped_len(name) <= URL_MAX;
}

bool is_listed_name(const DiskScan& s, const char* name) {
    return is_music_name(name) && url_fits(s, name);
}

int count_music_files(const DiskScan& s) {
    TopDirWalk walk(s.mount_dir);
    int n = 0;
    while (const char* name = walk.next())
        if (is_listed_name(s, name)) n++;
    return n;
}

bool check_disk_list(const DiskScan& s, const char* list_path) {
    std::string text = read_list(list_path);
    if (count_entries(text) != s.music_count) return false;

    // Each name is looked for as the list writes it, anywhere in the text,
    // and so is the mount directory. Names that stand whole in the list's
    // strings are found at once; one automaton pass settles the rest.
    // The text ends at its first zero byte, as a C string would.
    std::string pattern;
    json_escape_append(pattern, s.mount_dir);
    if (!strstr(text.c_str(), pattern.c_str())) return false;
    size_t len = strlen(text.c_str());
    ListWords words(text.c_str(), len);
    NameMatcher rest;
    TopDirWalk walk(s.mount_dir);
    if (!walk.opened()) return false;
    size_t left = 0;
    while (const char* name = walk.next()) {
        if (!is_listed_name(s, name)) continue;
        pattern.clear();
        json_escape_append(pattern, name);
        if (!words.has(pattern)) {
            rest.add(pattern);
            left++;
        }
    }
    if (left == 0) return true;
    rest.scan(text.c_str(), len);
    return rest.all_found();
}
