#!/usr/bin/env bash
# Peak memory of dorvu while it tries files that hold no frame (zeros under
# a song's name, 16 MB and 256 MB) against a normal song. dorvu runs in the
# box with the I2S stand-in unpaced, one file per run, the file in <url> and
# no disk list, until it has given the file up (or played the song out); its
# peak RSS (VmHWM) and CPU time are read from /proc before it is stopped.
# Prints figures only. Goal: the zero files within a few MB of the song.
#   bench/player_probe_mem.sh [BUILD_DIR] [DORVU]   (defaults: build, its dorvu;
#   DORVU measures another binary of the player, e.g. an older one)
set -uo pipefail

if [ "${1:-}" = --inside ]; then  # in the box: try $2, print "hwm_kb cpu_ns secs"
    printf '<?xml version="1.0"?>\n<playusb>\n<url>%s</url>\n<position>0</position>\n<length>0</length>\n<playstate>STOPPED</playstate>\n<volume>50</volume>\n<seek>0</seek>\n<startposition>0</startposition>\n<songname></songname>\n<loop>0</loop>\n</playusb>\n' \
        "$2" >/etc/config/playusb.xml
    t0=$SECONDS
    LD_PRELOAD=$STANDIN BOX_I2S_SPEED=0 BOX_I2S_DISCARD=1 dorvu --log >/box/out/dorvu.log 2>&1 &
    pid=$!
    hwm=0
    for _ in $(seq 3000); do
        h=$(awk '/^VmHWM/ {print $2}' "/proc/$pid/status" 2>/dev/null)
        [ -n "$h" ] && hwm=$h
        grep -q '^close ' /box/out/i2s/journal 2>/dev/null && break
        grep -q 'error when av_init' /box/out/dorvu.log && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    ns=$(cat /proc/"$pid"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%.0f", s }')
    h=$(awk '/^VmHWM/ {print $2}' "/proc/$pid/status" 2>/dev/null)
    [ -n "$h" ] && hwm=$h
    kill -TERM "$pid" 2>/dev/null
    wait "$pid"
    echo "$hwm ${ns:-0} $((SECONDS - t0))"
    exit 0
fi

src=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$src/build}")
dorvu=$(realpath "${2:-$build/bin/dorvu}")
standin=$build/lib/libi2s_standin.so
for f in "$dorvu" "$standin"; do
    [ -e "$f" ] || { echo "no $f; build first" >&2; exit 1; }
done
work=$(mktemp -d /tmp/player_probe_mem.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/disk" "$work/bin"
cp "$dorvu" "$work/bin/dorvu"
ffmpeg -nostdin -v error -y -f lavfi -i "sine=frequency=440:duration=20:sample_rate=44100" \
    -ac 2 -c:a libmp3lame -b:a 192k "$work/disk/song.mp3" || exit 1
head -c 16M /dev/zero >"$work/disk/zeros16.mp3"
head -c 256M /dev/zero >"$work/disk/zeros256.mp3"

echo "dorvu: $dorvu"
printf '%-14s %12s %8s %8s\n' file peak_rss_mb cpu_s wall_s
for f in song.mp3 zeros16.mp3 zeros256.mp3; do
    rm -rf "$work/out" && mkdir -p "$work/out"
    read -r hwm ns secs < <("$src/host/box/boxrun" --disk "$work/disk" --out "$work/out" \
        --bin "$work/bin" --env STANDIN="$standin" -- \
        bash "$src/bench/player_probe_mem.sh" --inside "/tmp/mnt/sda1/$f")
    awk -v f="$f" -v h="${hwm:-0}" -v n="${ns:-0}" -v s="${secs:-0}" \
        'BEGIN { printf "%-14s %12.1f %8.2f %8d\n", f, h / 1024, n / 1e9, s }'
done
