#!/usr/bin/env bash
# MIPS guest instructions per second of audio under user-mode emulation, per
# format: FFmpeg decoding alone (decode_only: the player's decoder choice,
# every packet, nothing else) and dorvu as a whole (decode, conversion, the
# 5 ms loop, the play-state file, the I2S writes), played in the box in real
# time with the I2S stand-in (PCM discarded). Counted by a QEMU plugin
# (bench/insn_count.c) built against qemu-plugin.h from Debian's qemu source
# package, fetched into build-src/ on first use. Each song is played at two
# lengths and the count per second is the difference over the difference in
# length, so start-up (loading, probing, opening the device) does not count;
# dorvu's start-up is shown apart. The shell commands dorvu starts run as the
# PC's own programs under the emulator and are not counted.
# Prints figures only. Goal: dorvu on mp3, flac and m4a at most 25 M per
# audio second, and at most 1.3 times its decoder alone.
#   [FORMATS="mp3 m4a"] bench/player_insns.sh [MIPS_BUILD_DIR] [SECONDS]   (defaults: build-mips, 20)
set -uo pipefail

if [ "${1:-}" = --inside ]; then  # in the box: dorvu plays $2, counted into $3
    printf '<?xml version="1.0"?>\n<playusb>\n<url>%s</url>\n<position>0</position>\n<length>0</length>\n<playstate>STOPPED</playstate>\n<volume>50</volume>\n<seek>0</seek>\n<startposition>0</startposition>\n<songname></songname>\n<loop>0</loop>\n</playusb>\n' \
        "$2" >/etc/config/playusb.xml
    qemu-mips -L "$SYSROOT" -plugin "$PLUGIN,out=$3" -E LD_PRELOAD="$STANDIN" \
        -E BOX_I2S_SPEED=1 -E BOX_I2S_DISCARD=1 "$DORVU" >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 1800); do
        grep -q '^close ' /box/out/i2s/journal 2>/dev/null && break
        sleep 0.1
    done
    kill -TERM "$pid"
    wait "$pid"
    exit 0
fi

src=$(cd "$(dirname "$0")/.." && pwd)
tree=$(realpath "${1:-$src/build-mips}")
long=${2:-20}
short=4
sysroot=/usr/mips-linux-gnu
dorvu=$tree/bin/dorvu
decode=$tree/tests/player_audio/decode_only
standin=$tree/lib/libi2s_standin.so
for f in "$dorvu" "$decode" "$standin"; do
    [ -f "$f" ] || { echo "player_insns: $f missing (build the MIPS tree: dorvu decode_only i2s_standin)" >&2; exit 1; }
done
command -v qemu-mips >/dev/null || { echo "player_insns: qemu-mips missing (Debian package qemu-user)" >&2; exit 1; }

# The plugin, against the header of the installed QEMU's own source version.
qver=$(dpkg-query -W -f='${source:Version}' qemu-user 2>/dev/null)
qsrc=$src/build-src/qemu
hdr=$(ls -d "$qsrc"/qemu-*/include/qemu 2>/dev/null | head -n1)
if [ -z "$hdr" ]; then
    mkdir -p "$qsrc"
    echo "player_insns: fetching Debian's qemu source ($qver) into $qsrc for qemu-plugin.h"
    (cd "$qsrc" && apt-get source --download-only -qq "qemu=$qver" >apt-source.log 2>&1 &&
        tar -xJf qemu_*.orig.tar.xz --wildcards '*/include/qemu/qemu-plugin.h') ||
        { echo "player_insns: could not fetch qemu's source (see $qsrc/apt-source.log)" >&2; exit 1; }
    hdr=$(ls -d "$qsrc"/qemu-*/include/qemu | head -n1)
fi
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
plugin=$work/libinsn_count.so
cc -shared -fPIC -O2 -Wall -I"$hdr" "$src/bench/insn_count.c" -o "$plugin" || exit 1

# A signal codecs must spend bits on: tones that move, and some noise.
signal() { # seconds
    echo "aevalsrc=0.3*sin(440*2*PI*t)+0.2*sin(1234*2*PI*t*(1+0.05*sin(3*t)))+0.05*(random(0)-0.5)|0.3*sin(660*2*PI*t)+0.2*sin(987*2*PI*t)+0.05*(random(1)-0.5):s=44100:d=$1"
}
# ape1 to ape5: Monkey's Audio at compression levels 1 (fast) to 5 (insane).
formats=${FORMATS:-mp3 mp2 flac wma aac wav m4a ac3 ape1 ape2 ape3 ape4 ape5}  # FORMATS="mp3 ape5" for fewer
options() { # extension
    case $1 in
    mp3) echo "-c:a libmp3lame -b:a 192k" ;;
    mp2) echo "-c:a mp2 -b:a 192k" ;;
    flac) echo "-c:a flac" ;;
    wma) echo "-c:a wmav2 -b:a 192k" ;;
    aac) echo "-c:a aac -b:a 192k -f adts" ;;
    wav) echo "-c:a pcm_s16le" ;;
    m4a) echo "-c:a aac -b:a 192k" ;;
    ac3) echo "-c:a ac3 -b:a 192k" ;;
    ape?) echo "-c:a pcm_s16le -f wav" ;;  # a WAV, encoded by make_song
    esac
}
count() { cat "$1" 2>/dev/null | awk '/^insns/ { if ($2 > m) m = $2 } END { printf "%d", m }'; }

decode_count() { # song
    rm -f "$work/n"
    qemu-mips -L "$sysroot" -plugin "$plugin,out=$work/n" "$decode" "$1" >"$work/dec.out" 2>"$work/dec.err" || return 1
    count "$work/n"
}
dorvu_count() { # song-dir song
    rm -rf "$work/out"
    mkdir -p "$work/out"
    "$src/host/box/boxrun" --disk "$1" --out "$work/out" --share "$tree" --share "$work" \
        --env SYSROOT="$sysroot" --env PLUGIN="$plugin" --env STANDIN="$standin" --env DORVU="$dorvu" \
        -- bash "$src/bench/player_insns.sh" --inside "/tmp/mnt/sda1/$2" /box/out/n >/dev/null 2>&1
    count "$work/out/n"
}
m() { awk -v n="$1" -v s="$2" 'BEGIN { printf "%.1f", n / s / 1e6 }'; }

echo "MIPS guest instructions per second of 44.1 kHz stereo audio (M), songs of $short and $long s"
printf '%-5s %-10s %9s %9s %7s %12s\n' format decoder decode dorvu ratio "dorvu start"
make_song() { # format seconds file
    # shellcheck disable=SC2046
    ffmpeg -nostdin -v error -y -f lavfi -i "$(signal "$2")" $(options "$1") "$3" || return 1
    case $1 in  # FFmpeg has no Monkey's Audio encoder: Debian's
    ape?) mv "$3" "$3.wav" && "$src/tests/support/make_ape.sh" "${1#ape}" "$3.wav" "$3" && rm "$3.wav" ;;
    esac
}
for fmt in $formats; do
    ext=${fmt%[1-5]}
    for len in $short $long; do
        mkdir -p "$work/$fmt-$len"
        make_song "$fmt" "$len" "$work/$fmt-$len/song.$ext" ||
            { echo "player_insns: could not make a $fmt song" >&2; continue 2; }
    done
    d1=$(decode_count "$work/$fmt-$short/song.$ext") && d2=$(decode_count "$work/$fmt-$long/song.$ext") ||
        { echo "$fmt: decode_only failed: $(cat "$work/dec.err")"; continue; }
    name=$(awk '{ print $3 }' "$work/dec.out")
    p1=$(dorvu_count "$work/$fmt-$short" "song.$ext")
    p2=$(dorvu_count "$work/$fmt-$long" "song.$ext")
    span=$((long - short))
    dec=$(m $((d2 - d1)) $span)
    play=$(m $((p2 - p1)) $span)
    start=$(awk -v a="$p1" -v b="$p2" -v s=$short -v l=$long 'BEGIN { printf "%.1f", (a - (b - a) / (l - s) * s) / 1e6 }')
    ratio=$(awk -v a="$play" -v b="$dec" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }')
    printf '%-5s %-10s %9s %9s %7s %12s\n' "$fmt" "$name" "$dec" "$play" "$ratio" "$start"
done
echo "goal: dorvu on mp3, flac and m4a at most 25 M per audio second and at most 1.3 times decoding alone"
