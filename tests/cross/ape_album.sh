#!/usr/bin/env bash
# A Monkey's Audio album with its CUE sheet, end to end on one CPU: the PC's
# build (BOX_BUILD), or the box's under the emulator (BOX_CROSS_BUILD with
# BOX_EMULATOR). A WAV of four tones, encoded at compression level 4 (packets
# of 6.7 s, so no track starts on one); a sheet with the quirks the parser
# takes; a second file whose sheet names it unquoted, which the parser
# refuses, so it is listed whole. udisk_scan lists the tracks; the web
# interface picks the second track; its samples and the next track's must be
# FFmpeg's decode of the file from the track's start on.
source "$BOX_SRC/tests/e2e/lib.sh"
tree=${BOX_CROSS_BUILD:-$BOX_BUILD}
for f in bin/dorvu bin/udisk_scan lib/libi2s_standin.so lib/libtimewarp.so; do
    [ -e "$tree/$f" ] || { fail "$tree/$f was not built"; exit 1; }
done

box_workdir
w=$BOX_WORK
d=$w/disk
mkdir -p "$d" "$w/bin" "$w/config" "$w/out"
# The programs of the tree under test, on PATH in the box.
for p in dorvu udisk_scan; do
    printf '#!/bin/sh\nexec %s %s "$@"\n' "${BOX_EMULATOR:-}" "$tree/bin/$p" >"$w/bin/$p"
    chmod +x "$w/bin/$p"
done

# 24.5 s of 44.1 kHz stereo: a tone per track, so a track played from the
# wrong place shows, and a little noise for the encoder to work on.
tones='if(lt(t\,7)\,440\,if(lt(t\,15)\,550\,660))'
ffmpeg -nostdin -v error -y -f lavfi \
    -i "aevalsrc=0.4*sin($tones*2*PI*t)+0.02*(random(0)-0.5)|0.3*sin(1.5*$tones*2*PI*t):s=44100:d=24.5" \
    -c:a pcm_s16le "$w/album.wav" || { fail "ffmpeg could not make the album's WAV"; exit 1; }
"$BOX_SRC/tests/support/make_ape.sh" 4 "$w/album.wav" "$d/album.ape" || { fail "no APE album"; exit 1; }
# A byte order mark, REM and FLAGS lines, a title with spaces and an
# ampersand, one in UTF-8, an empty performer, a track whose INDEX 00 (the
# start the list takes) precedes its INDEX 01, and a track past the file's end.
printf '\xef\xbb\xbfREM GENRE "Test"\r\nREM DATE 2024\r\nPERFORMER "The Band"\r\nTITLE "Album"\r\nFILE "album.ape" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE "One"\r\n    PERFORMER ""\r\n    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n    TITLE "Two & Co"\r\n    FLAGS DCP\r\n    INDEX 00 00:07:00\r\n    INDEX 01 00:08:37\r\n  TRACK 03 AUDIO\r\n    TITLE "Tr\xc3\xaas"\r\n    INDEX 01 00:15:10\r\n  TRACK 04 AUDIO\r\n    TITLE "Bonus"\r\n    INDEX 01 01:30:00\r\n' \
    >"$d/album.cue"
# The other file: 12 s at level 5, one packet of over a MB (noise packs badly).
ffmpeg -nostdin -v error -y -f lavfi -i "aevalsrc=0.3*sin(330*2*PI*t)+0.3*(random(0)-0.5)|0.3*(random(1)-0.5):s=44100:d=12" \
    -c:a pcm_s16le "$w/live.wav" && "$BOX_SRC/tests/support/make_ape.sh" 5 "$w/live.wav" "$d/live.ape" ||
    { fail "no second APE file"; exit 1; }
printf 'FILE live.ape WAVE\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n' >"$d/live.cue"

# FFmpeg's decode of the album, which must be the WAV it was made from.
ffmpeg -nostdin -v error -i "$d/album.ape" -f s16le "$w/album.pcm"
ffmpeg -nostdin -v error -i "$w/album.wav" -f s16le "$w/wav.pcm"
check "FFmpeg decodes the APE album to the samples it was made from" cmp -s "$w/album.pcm" "$w/wav.pcm"
ffmpeg -nostdin -v error -i "$d/live.ape" -f s16le "$w/live.pcm"

printf '<?xml version="1.0" encoding="utf-8"?>\n<playusb>\n<url></url>\n<position>0</position>\n<length>0</length>\n<playstate>STOPPED</playstate>\n<volume>50</volume>\n<seek>0</seek>\n<startposition>0</startposition>\n<songname></songname>\n<loop>0</loop>\n</playusb>\n' \
    >"$w/config/playusb.xml"
"$BOX_SRC/host/box/boxrun" --disk "$d" --config "$w/config" --out "$w/out" --bin "$w/bin" \
    --share "$tree" --share "$w" \
    --env BOX_SRC="$BOX_SRC" --env TREE="$tree" \
    -- bash "$BOX_SRC/tests/cross/ape_album_inside.sh"
assert_status 0 $? "checks inside the box"

# The list: one entry per track, its start from its first INDEX, its length
# to the next track's start less four seconds (the third track's end is the
# fourth's start, past the file's end; the fourth, starting past the end,
# has none), and the file whose sheet the parser refused as one plain entry.
url=/tmp/mnt/sda1/album.ape
track() { printf '{"url":"%s","title":"%s","type":2,"total":0,"startpos":%d,"length":%d}' "$url" "$@"; }
want=$(printf '%s\n' "$(track One 1 3)" "$(track 'Two & Co' 7 4)" "$(track "Tr$(printf '\xc3\xaa')s" 15 71)" \
    "$(track Bonus 90 0)" '{"url":"/tmp/mnt/sda1/live.ape","title":"live.ape","type":2,"startpos":0,"length":0}' | sort)
got=$(sed -e 's/^{"Playlist":\[//' -e 's/\]}$//' -e 's/},{/}\n{/g' "$w/out/list" | sort)
assert_eq "$want" "$got" "udisk_scan lists the album's four tracks and the file with the refused sheet"
assert_contains "$(cat "$w/out/list")" "$(track One 1 3),$(track 'Two & Co' 7 4)" "the tracks in the sheet's order"

# The samples. An opening holds what one song start wrote; the web's pick of
# "Two & Co" is a seek inside the opening of the entry its URL loaded first,
# the next track one opening of its own.
python3 - "$w/album.pcm" "$w/out/i2s.album" <<'PY' >"$w/samples"
import re, sys
pcm = open(sys.argv[1], "rb").read()
rate, frame = 44100, 4
journal = open(sys.argv[2] + "/journal").read()
opens = [(m.group(1), int(m.group(2))) for m in re.finditer(r"^close (\S+) (\d+)$", journal, re.M)]
def at(sec):  # FFmpeg's samples from a whole second on
    return pcm[sec * rate * frame:]
def report(name, start, wav, offset):
    body = open(sys.argv[2] + "/" + wav, "rb").read()[44:][offset:]
    ref = at(start)
    same = body == ref[:len(body)]
    print(name, "exact" if same else "differs", "%.2f" % (len(body) / frame / rate))
played = [(wav, open(sys.argv[2] + "/" + wav, "rb").read()[44:]) for wav, n in opens if n > 0]
# The pick: the opening that holds the decode from 7 s, from where it holds it.
head7 = at(7)[:8192]
for i, (wav, body) in enumerate(played):
    k = body.find(head7)
    while k >= 0 and k % frame:
        k = body.find(head7, k + 1)
    if k >= 0:
        report("two", 7, wav, k)
        if i + 1 < len(played):
            report("next", 15, played[i + 1][0], 0)
        break
else:
    print("two missing")
PY
two=$(sed -n 's/^two //p' "$w/samples")
next=$(sed -n 's/^next //p' "$w/samples")
check "the picked track plays FFmpeg's samples from 7 s on ($two)" test "${two% *}" = exact
# The length rule counts whole seconds of the position and ends the track
# once more than its length lies behind it: 4 s and up to one more.
check "and ends after its 4 s and at most one more (${two#* } s)" \
    awk -v s="${two#* }" 'BEGIN { exit !(s >= 4 && s <= 5.3) }'
check "the next track (list order) plays FFmpeg's samples from 15 s on ($next)" test "${next% *}" = exact
check "to the file's end, short of its listed length (${next#* } s)" test "${next#* }" = 9.50

# The level-5 file the decoder could not keep up with: each time whole, and
# FFmpeg's samples (the first full opening).
wav=$(sed -n "s/^close \(pcm-[0-9]*\.wav\) $((12 * 44100 * 4))\$/\1/p" "$w/out/i2s/journal" | head -n1)
check "the level-5 file played FFmpeg's samples" cmp -s <(tail -c +45 "$w/out/i2s/$wav") "$w/live.pcm"
