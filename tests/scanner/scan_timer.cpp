// Times udisk_scan's work inside one process, without the cost of starting
// a program that loads FFmpeg, for bench/scan_bench.sh:
//   scan_timer rebuild|confirm RUNS    prints the best time in milliseconds
#include "disk_scan.h"

#include "mounts.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unistd.h>

static double now_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    bool rebuild = strcmp(argv[1], "rebuild") == 0;
    int runs = atoi(argv[2]);
    DiskScan s;
    if (!find_mount_dir(MOUNTS_PATH, s)) return 1;
    std::string list = disk_list_path(s);
    double best = 1e12;
    for (int i = 0; i < runs; i++) {
        if (rebuild) unlink(list.c_str());
        double t0 = now_ms();
        int r = udisk_scan(MOUNTS_PATH);
        double t = now_ms() - t0;
        if (r != (rebuild ? SCAN_WRITTEN : SCAN_CURRENT)) {
            fprintf(stderr, "udisk_scan gave %d\n", r);
            return 1;
        }
        if (t < best) best = t;
    }
    printf("%.1f\n", best);
    return 0;
}
