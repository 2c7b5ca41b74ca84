#include "disk_scan.h"
#include "json_text.h"
#include "music_name.h"
#include "name_matcher.h"
#include "top_dir.h"
#include "url_cursor.h"

#include "json_doc.h"
#include "regular_file.h"

#include <cjson/cJSON.h>
#include <cstring>
#include <sys/stat.h>

namespace {

// The whole list as a zero-terminated text. False when it is no regular
// file, is empty, or is too large to be read whole: then it is stale.
bool read_list(const char* list_path, std::string& text) {
    UniqueFile f = fopen_regular(list_path);
    struct stat st;
    if (!f || fstat(fileno(f.get()), &st) != 0) return false;
    if (st.st_size <= 0 || (unsigned long long)st.st_size > LIST_READ_MAX) return false;
    text.resize((size_t)st.st_size);
    text.resize(fread(&text[0], 1, text.size(), f.get()));
    return !text.empty();
}

int count_entries(const std::string& text) {
    JsonDoc doc(cJSON_Parse(text.c_str()));
    if (!doc) return 0;
    cJSON* list = cJSON_GetObjectItem(doc.get(), "Playlist");
    return list ? cJSON_GetArraySize(list) : 0;
}

// An entry of the list is an object of five members (six for a track).
constexpr size_t LIST_VALUES_PER_ENTRY = 7;

// At most how many values a JSON parser makes of text: every value but the
// first follows a "[", "{" or "," outside strings.
size_t json_values_max(const char* p, size_t len) {
    const char* end = p + len;
    size_t n = 1;
    while (p < end) {
        char c = *p++;
        if (c == '[' || c == '{' || c == ',') {
            n++;
        } else if (c == '"') {
            // To the closing quote: one not escaped by an odd run of backslashes.
            for (;;) {
                const char* q = (const char*)memchr(p, '"', (size_t)(end - p));
                if (!q) return n;
                const char* b = q;
                while (b > p && b[-1] == '\\') b--;
                p = q + 1;
                if ((q - b) % 2 == 0) break;
            }
        }
    }
    return n;
}

// "/name" and the quote after it: how a name ends a "url" in the list.
std::string url_tail(const ListedName& n) {
    std::string p;
    p.reserve(n.len + 2);
    p += '/';
    p.append(n.esc, n.len);
    p += '"';
    return p;
}

}  // namespace

bool escape_name(const DiskScan& s, const char* name, ListedName& n) {
    n.len = json_escape(name, n.esc, sizeof n.esc);
    return s.mount_esc_len + n.len <= URL_MAX;
}

bool is_listed_name(const DiskScan& s, const char* name) {
    return is_music_name(name) && s.mount_esc_len + json_escaped_len(name) <= URL_MAX;
}

int count_music_files(const DiskScan& s) {
    TopDirWalk walk(s.mount_dir);
    int n = 0;
    while (const char* name = walk.next())
        if (is_listed_name(s, name)) n++;
    return walk.failed() ? -1 : n;
}

bool check_disk_list(DiskScan& s, const char* list_path) {
    s.music_count = 0;
    std::string text;
    bool current = read_list(list_path, text);
    // The text ends at its first zero byte, as a C string would.
    size_t len = strlen(text.c_str());
    // A mount directory too long for any "url" leaves no name to list.
    current = current && s.mount_esc_len <= URL_MAX &&
              memmem(text.data(), len, s.mount_esc, s.mount_esc_len);

    // One walk both counts the music files and looks for each name as the
    // list writes it, bounded by the "/" before it and the quote after it.
    // Names at their expected place are found at once; one automaton pass
    // over the text settles the rest.
    TopDirWalk walk(s.mount_dir);
    UrlCursor cursor(text.data(), len, s.mount_esc, s.mount_esc_len);
    NameMatcher rest;
    size_t left = 0;
    ListedName n;
    while (const char* name = walk.next()) {
        if (!is_music_name(name) || !escape_name(s, name, n)) continue;
        s.music_count++;
        if (!current || cursor.next_is(n.esc, n.len)) continue;
        rest.add(url_tail(n));
        left++;
    }
    if (walk.failed()) {
        s.music_count = -1;
        return false;
    }
    // The parsed tree costs far more memory than the text: a list with more
    // values than its entries could hold is stale before it is parsed.
    if (!current ||
        json_values_max(text.data(), len) > LIST_VALUES_PER_ENTRY * (size_t)s.music_count + 8)
        return false;
    if (count_entries(text) != s.music_count) return false;
    if (left == 0) return true;
    rest.scan(text.data(), len);
    return rest.all_found();
}
