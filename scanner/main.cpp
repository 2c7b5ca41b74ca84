// udisk_scan: brings the USB disk's ".udisklist" up to date. No arguments,
// no output; the exit status tells what was done (255 no disk, 0 no list,
// 1 written anew, 2 already current).
#include "disk_scan.h"

#include "mounts.h"

extern "C" {
#include <libavutil/log.h>
}

int main() {
    av_log_set_level(AV_LOG_QUIET);
    return udisk_scan(MOUNTS_PATH);
}
