#!/usr/bin/env bash
# Peak memory of udisk_scan probing an album's file (an APE name with a CUE
# sheet beside it): a good album (FLAC data under the APE name), one second
# of an MP3 followed by zeros (FFmpeg's parser would keep every zero while it
# looks for the next frame), and zeros alone, at 16 and 256 MB (sparse
# files). Each figure is the peak RSS of one whole run in the box, shared
# libraries included; "no album" is a disk with one song and no probe. The
# box's own build (build-mips, under qemu-mips-static, whose own memory is
# counted too) is shown when it was built, and any other udisk_scan given
# (an older build, say) beside it. Last, the list's length for the 256 MB
# file with no limit and under a 48 MB data limit (ulimit -d).
# Prints figures only. Goal: every file within a few MB of the good album,
# and no growth from 16 to 256 MB.
#   bench/scan_probe_mem.sh [BUILD_DIR] [OTHER_UDISK_SCAN]   (default: build)
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$src/build}")
other=${2:+$(realpath "$2")}
rss=$build/tests/scanner/peak_rss
mips=$src/build-mips/bin/udisk_scan
for f in "$build/bin/udisk_scan" "$rss"; do
    [ -x "$f" ] || { echo "no $f; build first" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/disk"
ffmpeg -loglevel error -f lavfi -i sine=r=44100 -ac 2 -t 300 -c:a flac -f flac "$work/disk/good.bin"
ffmpeg -loglevel error -f lavfi -i sine=r=44100 -t 1 -c:a libmp3lame -f mp3 "$work/disk/song.bin"
printf 'FILE "album.ape" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE "One"\r\n    INDEX 01 00:00:00\r\n' >"$work/disk/album.cue"

progs=("$build/bin/udisk_scan") names=(pc)
[ -x "$mips" ] && { progs+=("qemu-mips-static -L /usr/mips-linux-gnu $mips"); names+=("box (qemu)"); }
[ -n "$other" ] && { progs+=("$other"); names+=(other); }

"$src/host/box/boxrun" --disk "$work/disk" --share "$(dirname "$mips")" -- bash -c '
D=/tmp/mnt/sda1 rss=$1; shift
n=$(($# / 2)); names=("${@:1:n}"); progs=("${@:n+1}")
printf "%-30s" file; for p in "${names[@]}"; do printf "%16s" "$p KiB"; done; echo
run() { # label
    printf "%-30s" "$1"
    for p in "${progs[@]}"; do rm -f $D/.udisklist; printf "%16s" "$($rss $p || true)"; done; echo
}
mv $D/album.cue $D/cue; : >$D/a.mp3; run "no album"; rm $D/a.mp3; mv $D/cue $D/album.cue
cp $D/good.bin $D/album.ape; run "good album ($(($(stat -c %s $D/album.ape) >> 20)) MB)"
for mb in 16 256; do
    cp $D/song.bin $D/album.ape; truncate -s ${mb}M $D/album.ape; run "mp3 second + zeros $mb MB"
    rm $D/album.ape; truncate -s ${mb}M $D/album.ape; run "zeros $mb MB"
done
cp $D/song.bin $D/album.ape; truncate -s 256M $D/album.ape
for limit in unlimited 48000; do
    rm -f $D/.udisklist; (ulimit -d $limit; ${progs[0]} || true)
    echo "mp3 second + zeros 256 MB, data limit $limit: $(grep -o "\"length\":-*[0-9]*" $D/.udisklist || echo no list)"
done
' bench "$rss" "${names[@]}" "${progs[@]}"
