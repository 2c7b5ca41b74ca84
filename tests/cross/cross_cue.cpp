// Prints what the CUE parser made of each sheet, and the disk list's track
// times for a 3600-second file, one line per item.
//   cross_cue SHEET...
#include "cue_sheet.h"
#include "track_times.h"

#include "handles.h"

#include <cstdio>
#include <string>

namespace {

const char* shown(const char* s) { return s ? s : "(none)"; }

void dump(const CUESheet* sheet) {
    printf("sheet catalog=%s performer=%s title=%s file=%s type=%s\n", shown(sheet->catalog),
           shown(sheet->performer), shown(sheet->title), shown(sheet->file_name),
           shown(sheet->file_type));
    for (const CUETrack* t = sheet->track; t; t = t->next) {
        TrackTimes tt = track_times(t, t->next, 3600);
        printf("track %u type=%s performer=%s title=%s start=%d length=%d\n", (unsigned)t->number,
               shown(t->type), shown(t->performer), shown(t->title), tt.startpos, tt.length);
        for (const CUEIndex* i = t->index; i; i = i->next)
            printf("  index %u %02u:%02u:%02u\n", (unsigned)i->number, (unsigned)i->minutes,
                   (unsigned)i->seconds, (unsigned)i->frames);
    }
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; i++) {
        std::string bytes;
        UniqueFile f(fopen(argv[i], "rb"));
        if (!f) {
            printf("%s: cannot open\n", argv[i]);
            continue;
        }
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f.get())) > 0) bytes.append(buf, n);
        CUESheet* sheet = CUESheetParseBytes(bytes.data(), bytes.size());
        printf("== %s (%zu bytes)\n", argv[i], bytes.size());
        if (!sheet) {
            printf("refused\n");
            continue;
        }
        dump(sheet);
        CUESheetFree(sheet);
    }
    return 0;
}
