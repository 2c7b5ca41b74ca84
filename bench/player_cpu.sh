#!/usr/bin/env bash
# CPU per second of audio for dorvu and for the ffmpeg command decoding the
# same songs with the same decoders, their ratio, and dorvu's peak RSS. dorvu runs in the box with
# the I2S stand-in unpaced (PCM discarded, as ffmpeg writes to /dev/null),
# one song per run, until the device is closed after the song's end; its
# CPU time is summed over its threads from /proc before it is stopped.
# Each song is played at two lengths; the CPU per second is the difference
# divided by the difference in length, so the start-up cost of either
# program (loading the libraries) does not count; that cost is shown apart.
# Peak RSS counts every page of the shared libraries the daemon touched (the
# PC's FFmpeg pulls in a hundred-odd libraries the box's build has not); the
# private, written pages at the song's end are shown beside it.
# Prints figures only. Goal: ratio at most 1.10, peak RSS at most 12 MB.
#   bench/player_cpu.sh [BUILD_DIR] [SECONDS]   (defaults: build, 60)
set -uo pipefail

if [ "${1:-}" = --inside ]; then  # in the box: play $2, print "cpu_ns hwm_kb anon_kb"
    printf '<?xml version="1.0"?>\n<playusb>\n<url>%s</url>\n<position>0</position>\n<length>0</length>\n<playstate>STOPPED</playstate>\n<volume>50</volume>\n<seek>0</seek>\n<startposition>0</startposition>\n<songname></songname>\n<loop>0</loop>\n</playusb>\n' \
        "$2" >/etc/config/playusb.xml
    LD_PRELOAD=$STANDIN BOX_I2S_SPEED=0 BOX_I2S_DISCARD=1 dorvu >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 1200); do
        grep -q '^close ' /box/out/i2s/journal 2>/dev/null && break
        sleep 0.1
    done
    ns=$(cat /proc/"$pid"/task/*/schedstat | awk '{ s += $1 } END { printf "%d", s }')
    hwm=$(awk '/^VmHWM/ {print $2}' "/proc/$pid/status")
    anon=$(awk '/^Anonymous/ {print $2}' "/proc/$pid/smaps_rollup")
    kill -TERM "$pid"
    wait "$pid"
    echo "$ns $hwm $anon"
    exit 0
fi

src=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$src/build}")
long=${2:-60}
short=2
standin=$build/lib/libi2s_standin.so
for f in "$build/bin/dorvu" "$standin"; do
    [ -e "$f" ] || { echo "no $f; build first" >&2; exit 1; }
done
work=$(mktemp -d /tmp/player_cpu.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/disk"

stereo="aevalsrc=0.6*sin(440*2*PI*t)|0.4*sin(660*2*PI*t):s=44100"
stereo48="aevalsrc=0.6*sin(440*2*PI*t)|0.4*sin(660*2*PI*t):s=48000"
mono48="aevalsrc=0.7*sin(523*2*PI*t):s=48000"
songs=()
make() { # name source ffmpeg-args...
    local name=$1 source=$2 d
    shift 2
    for d in $short $long; do
        ffmpeg -nostdin -v error -y -f lavfi -i "$source:d=$d" "$@" "$work/disk/$d.$name" || exit 1
    done
    songs+=("$name")
}
make mp3 "$stereo" -c:a libmp3lame -b:a 192k
make mp2 "$mono48" -c:a mp2 -b:a 128k
make flac "$stereo" -c:a flac -sample_fmt s16
make 24bit.flac "$stereo48" -c:a flac -sample_fmt s32 -bits_per_raw_sample 24
make wma "$stereo" -c:a wmav2 -b:a 128k
make aac "$stereo48" -c:a aac -b:a 128k
make m4a "$stereo" -c:a aac -b:a 128k
make wav "$stereo" -c:a pcm_s16le
make ac3 "$stereo48" -c:a ac3 -b:a 192k

dorvu_run() { # file -> "cpu_ns hwm_kb anon_kb"
    rm -rf "$work/out" && mkdir -p "$work/out"
    "$src/host/box/boxrun" --disk "$work/disk" --out "$work/out" --bin "$build/bin" \
        --env STANDIN="$standin" -- bash "$src/bench/player_cpu.sh" --inside "/tmp/mnt/sda1/$1"
}
# The decoder dorvu opens for a song: the fixed-point one where FFmpeg has one.
decoder_of() {
    case $1 in
    *.mp3) echo mp3 ;;
    *.aac | *.m4a) echo aac_fixed ;;
    *.ac3) echo ac3_fixed ;;
    esac
}
ffmpeg_run() { # file -> CPU seconds
    local TIMEFORMAT='%U %S' u s dec codec=()
    dec=$(decoder_of "$1")
    [ -n "$dec" ] && codec=(-c:a "$dec")
    read -r u s < <({ time ffmpeg -nostdin -v error -threads 1 "${codec[@]}" -i "$work/disk/$1" -f s16le -y /dev/null; } 2>&1)
    awk -v u="$u" -v s="$s" 'BEGIN { print u + s }'
}

echo "CPU seconds per second of audio (songs of $short s and $long s), start-up cost apart"
printf '%-11s %11s %12s %6s %10s %11s %12s %11s\n' song dorvu_cpu/s ffmpeg_cpu/s ratio dorvu_fix_s ffmpeg_fix_s peak_rss_mb private_mb
for name in "${songs[@]}"; do
    read -r ns_s _ _ < <(dorvu_run "$short.$name")
    read -r ns_l hwm anon < <(dorvu_run "$long.$name")
    f_s=$(ffmpeg_run "$short.$name")
    f_l=$(ffmpeg_run "$long.$name")
    awk -v n="$name" -v ds="$ns_s" -v dl="$ns_l" -v fs="$f_s" -v fl="$f_l" -v a="$short" -v b="$long" \
        -v hwm="$hwm" -v anon="$anon" 'BEGIN {
            d = (dl - ds) / 1e9 / (b - a); f = (fl - fs) / (b - a)
            printf "%-11s %11.5f %12.5f %6.2f %10.3f %11.3f %12.1f %11.1f\n", n, d, f,
                   (f > 0 ? d / f : 0), ds / 1e9 - d * a, fs - f * a, hwm / 1024, anon / 1024 }'
done
