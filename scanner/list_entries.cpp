#include "cue_sheet.h"
#include "disk_scan.h"
#include "json_text.h"
#include "music_name.h"
#include "probe.h"
#include "top_dir.h"
#include "track_times.h"

#include <climits>
#include <cstdio>

namespace {

// One entry per track, in the sheet's order, each written as it is made.
// Returns the number written.
int put_tracks(FILE* out, const DiskScan& s, const char* path, const ListedName& n,
               const CUESheet* sheet) {
    int duration = probe_duration(path);
    int count = 0;
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
        fprintf(out, "{\"url\":\"%s%s\",\"title\":\"", s.mount_esc, n.esc);
        json_escape_put(out, shown);
        fprintf(out, "\",\"type\":2,\"total\":0,\"startpos\":%d,\"length\":%d},", tt.startpos,
                tt.length);
        count++;
    }
    return count;
}

}  // namespace

int write_list_entries(const DiskScan& s, FILE* out, int* written) {
    *written = 0;
    TopDirWalk walk(s.mount_dir);
    char path[MOUNT_DIR_SIZE + NAME_MAX + 1];
    ListedName n;
    while (const char* name = walk.next()) {
        if (snprintf(path, sizeof path, "%s%s", s.mount_dir, name) >= (int)sizeof path) continue;
        // The path, not the bare name, is tested: ".mp3" is listed (but
        // not counted).
        if (!is_music_name(path) || !escape_name(s, name, n)) continue;
        CUESheet* sheet = CUESheetParse(path);
        if (sheet) {
            *written += put_tracks(out, s, path, n, sheet);
            CUESheetFree(sheet);
        } else {
            fprintf(out,
                    "{\"url\":\"%s%s\",\"title\":\"%s\",\"type\":2,\"startpos\":0,\"length\":0},",
                    s.mount_esc, n.esc, n.esc);
            (*written)++;
        }
    }
    // A read that failed half way would make a list of part of the disk.
    return walk.failed() ? 0 : 1;
}
