#!/usr/bin/env bash
# Disk list scan times and memory as the disk grows: disks of 1,000, 5,000,
# 10,000 and 20,000 (empty) music files in the box; the time to build the
# list anew and to confirm a current one, the ratio of the 10k time to the
# 1k time, and the ratio of a 10k confirm to a 10k rebuild. The scan is
# timed inside one process (best of 15 runs); the start-up of the udisk_scan
# program (loading the FFmpeg libraries) is shown apart. Peak resident
# memory is that of whole udisk_scan runs (a rebuild with no old list, and
# a confirm, which holds the old list and its parsed tree).
# Prints figures only. Goals: time ratio at most 12, a 10k confirm within
# 0.5 s and at most half a 10k rebuild; rebuild memory for 20,000 files
# within 2 MiB of that for 1,000.
#   bench/scan_bench.sh [BUILD_DIR]     (default: build)
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$src/build}")
timer=$build/tests/scanner/scan_timer
rss=$build/tests/scanner/peak_rss
for f in "$build/bin/udisk_scan" "$timer" "$rss"; do
    [ -x "$f" ] || { echo "no $f; build first" >&2; exit 1; }
done

"$src/host/box/boxrun" --bin "$build/bin" -- bash -c '
set -e
D=/tmp/mnt/sda1 timer=$1 rss=$2
best=999999
for i in 1 2 3 4 5; do
    t0=${EPOCHREALTIME/./}
    udisk_scan || true
    t=$(( (${EPOCHREALTIME/./} - t0) / 1000 ))
    [ $t -lt $best ] && best=$t
done
echo "udisk_scan start-up and exit on a disk without music: $best ms"
have=0
printf "%8s %12s %12s %12s %16s %16s\n" files rebuild_ms confirm_ms list_bytes rebuild_rss_kib confirm_rss_kib
for n in 1000 5000 10000 20000; do
    # Names of a realistic length, all sharing long stretches of text.
    while [ $have -lt $n ]; do
        have=$((have + 1))
        printf -v name "%05d Artist name - Song title number %d.mp3" $have $have
        : >"$D/$name"
    done
    r=$($timer rebuild 15)
    c=$($timer confirm 15)
    rm -f $D/.udisklist
    mr=$($rss udisk_scan) || true
    mc=$($rss udisk_scan) || true
    printf "%8d %12s %12s %12d %16s %16s\n" $n $r $c $(wc -c <$D/.udisklist) $mr $mc
    eval "r$n=$r c$n=$c m$n=$mr"
done
awk -v r1=$r1000 -v r10=$r10000 -v c1=$c1000 -v c10=$c10000 -v m1=$m1000 -v m20=$m20000 "BEGIN {
    printf \"ratio t(10k)/t(1k): rebuild %.1f, confirm %.1f\n\", r10 / r1, c10 / c1
    printf \"ratio confirm/rebuild at 10k: %.2f (goal at most 0.5)\n\", c10 / r10
    printf \"rebuild peak RSS, 20k minus 1k: %d KiB (goal at most 2048)\n\", m20 - m1 }"
' bench "$timer" "$rss"
