#include "cue_sheet.h"
#include "disk_scan.h"
#include "json_text.h"
#include "music_name.h"
#include "probe.h"
#include "top_dir.h"
#include "track_times.h"

#include <cstdio>

namespace {

void append_head(std::string& out, const std::string& url, const char* title) {
    out += "{\"url\":\"";
    json_escape_append(out, url.c_str());
    out += "\",\"title\":\"";
    json_escape_append(out, title);
    out += "\",\"type\":2,";
}

void append_plain(std::string& out, const std::string& path, const char* name) {
    append_head(out, path, name);
    out += "\"startpos\":0,\"length\":0},";
}

// One entry per track, in the sheet's order. Returns the number written.
int append_tracks(std::string& out, const std::string& path, const CUESheet* sheet) {
    int duration = probe_duration(path.c_str());
    int n = 0;
    for (const CUETrack* t = sheet->track; t; t = t->next) {
        TrackTimes tt = track_times(t, t->next, duration);
        char title[16];
        const char* shown = t->title;
        // Without a TITLE line the track still needs a name a person can
        // tell apart from its neighbours.
        if (!shown) {
            snprintf(title, sizeof title, "Track %02u", (unsigned)t->number);
            shown = title;
        }
        append_head(out, path, shown);
        char nums[64];
        snprintf(nums, sizeof nums, "\"total\":0,\"startpos\":%d,\"length\":%d},", tt.startpos,
                 tt.length);
        out += nums;
        n++;
    }
    return n;
}

}  // namespace

int write_list_entries(const DiskScan& s, std::string& text, int* written) {
    *written = 0;
    TopDirWalk walk(s.mount_dir);
    if (!walk.opened()) return 0;
    std::string path;
    while (const char* name = walk.next()) {
        path.assign(s.mount_dir);
        path += name;
        // The path, not the bare name, is tested: ".mp3" is listed (but
        // not counted).
        if (!is_music_name(path.c_str()) || !url_fits(s, name)) continue;
        CUESheet* sheet = CUESheetParse(path.c_str());
        if (sheet) {
            *written += append_tracks(text, path, sheet);
            CUESheetFree(sheet);
        } else {
            append_plain(text, path, name);
            (*written)++;
        }
    }
    return 1;
}
