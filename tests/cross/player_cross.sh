#!/usr/bin/env bash
# The scanner and the player on the box's CPU against the PC: one disk with
# a song of each of the nine music extensions, Monkey's Audio files of each
# compression level and an album with its CUE sheet, scanned and played
# through in the box by each build. The disk lists, the I2S device's
# journals and the samples it was given must match, and each APE file's
# samples must be those it was made from.
source "$BOX_SRC/tests/e2e/lib.sh"
source "$BOX_SRC/tests/cross/cross_lib.sh"
cross_need udisk_scan dorvu
for t in "$BOX_PC_BUILD" "$BOX_CROSS_BUILD"; do
    for lib in libi2s_standin.so libtimewarp.so; do
        [ -f "$t/lib/$lib" ] || { fail "$t/lib/$lib was not built"; exit 1; }
    done
done

box_workdir
w=$BOX_WORK
d=$w/disk
mkdir -p "$d"
# Two tones, so that swapped channels show; two seconds each.
tone() { # seconds rate channels
    if [ "$3" = 2 ]; then
        echo "aevalsrc=0.6*sin(440*2*PI*t)|0.4*sin(660*2*PI*t):s=$2:d=$1"
    else
        echo "aevalsrc=0.7*sin(523*2*PI*t):s=$2:d=$1"
    fi
}
make_song() { # name seconds rate channels codec-options...
    local name=$1 secs=$2 rate=$3 ch=$4
    shift 4
    ffmpeg -nostdin -v error -y -f lavfi -i "$(tone "$secs" "$rate" "$ch")" "$@" "$d/$name" \
        || { fail "ffmpeg could not make $name"; exit 1; }
}
make_song a.mp3 2 44100 2 -c:a libmp3lame -b:a 128k
make_song b.mp2 2 48000 1 -c:a mp2 -b:a 128k
make_song c.flac 2 44100 2 -c:a flac -sample_fmt s16
make_song d.wma 2 44100 2 -c:a wmav2 -b:a 128k
make_song e.aac 2 48000 1 -c:a aac -b:a 96k
make_song f.wav 2 22050 2 -c:a pcm_s16le
make_song g.m4a 2 44100 2 -c:a aac -b:a 128k
make_song h.ac3 2 48000 2 -c:a ac3 -b:a 192k
# Monkey's Audio (FFmpeg has no encoder: Debian's, from a WAV): an album at
# level 2 and a song at each other level, the ninth extension.
# The list shortens each track by 4 s (the first, listed as starting at 1 s,
# plays to the end of the file): tracks of 2 and 3 s from 5 and 11 s on.
make_ape() { # name seconds level
    make_song "${1%.ape}.wav" "$2" 44100 2 -c:a pcm_s16le
    "$BOX_SRC/tests/support/make_ape.sh" "$3" "$d/${1%.ape}.wav" "$d/$1" || { fail "no $1"; exit 1; }
    mkdir -p "$w/wav"
    mv "$d/${1%.ape}.wav" "$w/wav/"
}
make_ape album.ape 18 2
for level in 1 3 4 5; do make_ape "level$level.ape" 2 "$level"; done
printf 'PERFORMER "Band"\r\nTITLE "Album"\r\nFILE "album.ape" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE "One"\r\n    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n    TITLE "Two"\r\n    INDEX 01 00:05:00\r\n  TRACK 03 AUDIO\r\n    TITLE "Three"\r\n    INDEX 01 00:11:00\r\n' \
    >"$d/album.cue"
entries=15  # twelve songs and three tracks

# play TREE RUN-PREFIX: scans the disk and plays the list through once in
# the box, with the tree's own I2S and time stand-ins; leaves the list, the
# journal and the WAV files in $w/TREE-NAME/.
play() { # name tree run-prefix
    local out=$w/$1 tree=$2 run=$3
    rm -rf "$w/disk.run"
    cp -r "$d" "$w/disk.run"
    mkdir -p "$out/config"
    printf '<?xml version="1.0" encoding="utf-8"?>\n<playusb>\n<url></url>\n<position>0</position>\n<length>0</length>\n<playstate>STOPPED</playstate>\n<volume>50</volume>\n<seek>0</seek>\n<startposition>0</startposition>\n<songname></songname>\n<loop>0</loop>\n</playusb>\n' \
        >"$out/config/playusb.xml"
    boxrun --disk "$w/disk.run" --config "$out/config" --out "$out" \
        --share "$BOX_PC_BUILD" --share "$BOX_CROSS_BUILD" -- sh -c "
            $run $tree/bin/udisk_scan; echo \$? >/box/out/scan_status
            cp /tmp/mnt/sda1/.udisklist /box/out/list
            LD_PRELOAD=$tree/lib/libi2s_standin.so:$tree/lib/libtimewarp.so TIMEWARP=10 BOX_I2S_SPEED=10 \
                $run $tree/bin/dorvu --log >/box/out/dorvu.log 2>&1 &
            pid=\$!
            n=0
            while [ \$(cat /box/out/i2s/journal 2>/dev/null | grep -c '^close .* [1-9][0-9]*\$') -lt $entries ] &&
                  [ \$n -lt 1800 ]; do
                sleep 0.1; n=\$((n + 1))
            done
            kill -TERM \$pid; wait \$pid"
}
play pc "$BOX_PC_BUILD" ""
play box "$BOX_CROSS_BUILD" "$BOX_EMULATOR"

assert_eq "1 1" "$(cat "$w/pc/scan_status") $(cat "$w/box/scan_status")" "both scanners wrote a list"
same_bytes "disk list" "$w/pc/list" "$w/box/list"
check "the list has the album's tracks" grep -q '"title":"Three","type":2,"total":0,"startpos":11,"length":3}' "$w/pc/list"

# The journals of the list played once (after it the list starts over).
# Two things in them follow the threads' timing, not the CPU, and are left
# out: the volume the play-state poll sends again when its first look comes
# while a song plays, and an opening that took nothing because the poll,
# reading the file between a song's start and the daemon's own write of it,
# started that song once more (the second opening plays it). The openings
# kept are numbered afresh; their WAV files are listed in WAVS.
played_once() { # journal wavs
    awk -v n=$entries -v wavs="$2" '
        /^open / { block = ""; muted = 0; next }
        /^MUTE 0$/ { block = block $0 "\n"; muted = 1; next }
        /^VOLUME / && muted { next }
        /^close / {
            if ($3 != "0") {
                c++
                printf "open song %d\n%sclose song %d %s\n", c, block, c, $3
                print $2 >wavs
                if (c == n) exit
            }
            next
        }
        { block = block $0 "\n" }' "$1"
}
played_once "$w/pc/i2s/journal" "$w/wavs.pc" >"$w/journal.pc"
played_once "$w/box/i2s/journal" "$w/wavs.box" >"$w/journal.box"
assert_eq $entries "$(grep -c '^close ' "$w/journal.pc")" "the PC played the whole list"
same_bytes "I2S journal" "$w/journal.pc" "$w/journal.box"

# The samples of each song (the WAV files hold them little-endian on both):
# the same values. WMA has only a floating-point decoder, and the PC's FFmpeg
# runs its transforms with the PC's vector instructions, which round a few
# samples the other way (by 1) than the plain C the box runs; there the box's
# samples must be exactly what the PC's FFmpeg gives with those instructions
# off, and the PC's within 1 of them.
max_diff() { # wav wav: largest sample difference, "length" when the lengths differ
    python3 - "$1" "$2" <<'PY'
import struct, sys
a, b = (open(f, "rb").read()[44:] for f in sys.argv[1:3])
if len(a) != len(b):
    print("length")
else:
    n = len(a) // 2
    x, y = struct.unpack("<%dh" % n, a[:2 * n]), struct.unpack("<%dh" % n, b[:2 * n])
    print(max((abs(p - q) for p, q in zip(x, y)), default=0))
PY
}
tr '{' '\n' <"$w/pc/list" | sed -n 's|.*"url":"/tmp/mnt/sda1/\([^"]*\)","title":"\([^"]*\)".*|\1 \2|p' >"$w/songs"
for i in $(seq 1 $entries); do
    pc=$w/pc/i2s/$(sed -n "${i}p" "$w/wavs.pc")
    box=$w/box/i2s/$(sed -n "${i}p" "$w/wavs.box")
    song=$(sed -n "${i}p" "$w/songs")
    if [[ $song == *.wma* ]]; then
        ffmpeg -nostdin -v error -cpuflags 0 -c:a wmav2 -i "$d/${song%% *}" -f s16le - >"$w/plain.pcm"
        if cmp -s "$w/plain.pcm" <(tail -c +45 "$box"); then pass; else
            fail "samples of $song on the box differ from the PC's FFmpeg without vector instructions"
        fi
        diff=$(max_diff "$pc" "$box")
        check "the PC's WMA samples within 1 of the box's (largest difference: $diff)" \
            test "$diff" != length -a "$diff" -le 1
    elif cmp -s "$pc" "$box"; then
        pass
    else
        fail "samples of song $i ($song) differ: $(cmp "$pc" "$box" 2>&1 | head -n1)"
    fi
    # Monkey's Audio is lossless: a whole level file gives back its WAV.
    if [[ $song == level?.ape* ]]; then
        ffmpeg -nostdin -v error -i "$w/wav/${song%%.ape*}.wav" -f s16le "$w/made.pcm"
        check "the box's samples of $song are those it was made from" cmp -s "$w/made.pcm" <(tail -c +45 "$box")
    fi
done
