// The scanner's list writer and staleness check on a folder, for comparing
// the PC's and the box CPU's results byte by byte:
//   cross_list write DIR LIST   prints the build result, writes LIST when 1
//   cross_list check DIR LIST   prints 1 when LIST is current for DIR, else 0
#include "disk_scan.h"

#include "bounded.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

// The FFmpeg probe's stand-in: a duration both CPUs derive alike from the
// file's size, so that the sheets' last tracks get a length.
int probe_duration(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 ? (int)(st.st_size / 1000) : 0;
}

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: cross_list write|check DIR LIST\n");
        return 2;
    }
    DiskScan s;
    s.music_count = 0;
    char dir[MOUNT_DIR_SIZE];
    snprintf(dir, sizeof dir, "%s/", argv[2]);
    copy_bounded(s.mount_dir, sizeof s.mount_dir, dir);
    if (strcmp(argv[1], "check") == 0) {
        s.music_count = count_music_files(s);
        printf("%d\n", check_disk_list(s, argv[3]) ? 1 : 0);
        return 0;
    }
    std::string text;
    int built = build_disk_list(s, text);
    if (built == 1 && !finish_disk_list(argv[3], text)) built = -1;
    printf("%d %d\n", built, s.music_count);
    return 0;
}
