#!/usr/bin/env bash
# The music box on this PC: builds the player, fills a simulated USB disk
# with a few generated songs and their list, starts dorvu in the box sandbox
# with the I2S device stand-in, acts as the web interface for about 45
# seconds (a song ends and the next begins, volume, seek, pause and resume,
# a song picked by URL), stops it with SIGTERM and shows what happened.
#
#   ./demo.sh            everything (run as root on Debian 12)
#   BUILD=dir ./demo.sh  use another build folder (default ./build)
#
# What the box played lands in $BUILD/demo/out/i2s/pcm-*.wav.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${BUILD:-$here/build}
demo=$build/demo
D=/tmp/mnt/sda1
PLAYUSB=/etc/config/playusb.xml
SONGS=(song1.mp3 song2.flac song3.wav song4.m4a)

# ---- inside the box: the web interface's side -------------------------------

T0=${EPOCHREALTIME/./}
stamp() { printf '%5.1fs' "$(((${EPOCHREALTIME/./} - T0) / 100000))e-1"; }
note() { printf '%s  web interface: %s\n' "$(stamp)" "$*" >>/box/out/timeline; }

source "$here/host/box/web_iface.sh"

# Writes a line to the timeline whenever the play-state file changes.
watch_playusb() {
    local last="" now
    while :; do
        now=$(for t in playstate url songname position length volume seek startposition loop; do
            printf '%s=%s ' "$t" "$(xml_get $t)"
        done)
        if [ "$now" != "$last" ]; then
            printf '%s  playusb.xml:   %s\n' "$(stamp)" "$now" >>/box/out/timeline
            last=$now
        fi
        sleep 0.2
    done
}

wait_value() { # tag value seconds
    local n=$(($3 * 10))
    while [ $n -gt 0 ]; do
        [ "$(xml_get "$1")" == "$2" ] && return 0
        sleep 0.1
        n=$((n - 1))
    done
    return 1
}

inside() {
    cat >"$PLAYUSB" <<'EOF'
<?xml version="1.0" encoding="utf-8"?>
<playusb>
<url></url>
<position>0</position>
<length>0</length>
<playstate>STOPPED</playstate>
<volume>50</volume>
<seek>0</seek>
<startposition>0</startposition>
<songname></songname>
<loop>0</loop>
</playusb>
EOF
    if command -v udisk_scan >/dev/null; then
        udisk_scan
        echo "udisk_scan wrote the disk list (status $?)" >>/box/out/timeline
    fi
    cp "$D/.udisklist" /box/out/udisklist 2>/dev/null

    watch_playusb &
    local watcher=$!
    LD_PRELOAD=$DEMO_I2S dorvu --log >/box/out/dorvu.log 2>&1 &
    local pid=$!
    note "started dorvu --log (pid $pid); <url> is empty, so it plays the list's first entry"

    wait_value playstate PLAYING 5
    sleep 3
    note "volume 50 -> 90"
    web_set volume 90
    local first
    first=$(xml_get url)
    note "waiting for $(basename "$first") to end and the next entry to begin"
    local n=200
    while [ "$(xml_get url)" == "$first" ] && [ $n -gt 0 ]; do sleep 0.1; n=$((n - 1)); done
    wait_value playstate PLAYING 5
    sleep 2
    note "seek to 5 s"
    web_set seek 5
    sleep 2
    note "pause"
    web_set playstate PAUSE
    sleep 3
    note "resume"
    web_set playstate PLAYING
    sleep 2
    # Picked in the middle of a song: the daemon rewrites the whole file from
    # its last read, so a request made while it changes songs could be lost.
    local pick=${SONGS[3]}
    [ "$(xml_get url)" == "$D/$pick" ] && pick=${SONGS[0]}
    note "pick $pick by URL"
    web_set url "$D/$pick"
    sleep 6
    note "SIGTERM (as 'killall dorvu' sends it)"
    kill -TERM "$pid"
    wait "$pid"
    local status=$?
    printf '%s  dorvu exited with status %d\n' "$(stamp)" "$status" >>/box/out/timeline
    sleep 0.3
    kill "$watcher"
    cp "$PLAYUSB" /box/out/playusb.final.xml
}

if [ "${1:-}" == "--inside" ]; then
    inside
    exit 0
fi

# ---- on the PC ----------------------------------------------------------------

cd "$here"
./setup.sh || exit 1
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" >/dev/null || exit 1
fi
echo "demo: building dorvu and the I2S stand-in in $build"
cmake --build "$build" -j"$(nproc)" --target dorvu i2s_standin 2>&1 | grep -E 'error|warning' || true
[ -x "$build/bin/dorvu" ] && [ -f "$build/lib/libi2s_standin.so" ] || { echo "demo: build failed" >&2; exit 1; }
cmake --build "$build" -j"$(nproc)" --target udisk_scan >/dev/null 2>&1 || true

rm -rf "$demo"
mkdir -p "$demo/disk" "$demo/config" "$demo/out"
echo "demo: generating songs on the simulated disk $demo/disk"
gen() { # name seconds frequency rate channels
    ffmpeg -loglevel error -nostdin -y -f lavfi \
        -i "sine=frequency=$3:duration=$2:sample_rate=$4" -ac "$5" "$demo/disk/$1" || exit 1
}
gen "${SONGS[0]}" 12 440 44100 2
gen "${SONGS[1]}" 12 554 44100 1
gen "${SONGS[2]}" 12 659 22050 2
gen "${SONGS[3]}" 12 880 48000 2

if [ -x "$build/bin/udisk_scan" ]; then
    echo "demo: udisk_scan will write the disk list inside the box"
else
    # The list as udisk_scan writes it: one line, entries in directory order.
    text='{"Playlist":['
    for name in $(ls -U "$demo/disk"); do
        text+=$(printf '{"url":"%s/%s","title":"%s","type":2,"startpos":0,"length":0},' "$D" "$name" "$name")
    done
    printf '%s' "${text%,}]}" >"$demo/disk/.udisklist"
    echo "demo: wrote the disk list by script (udisk_scan is not built)"
fi

echo "demo: running the box for about 45 seconds..."
"$here/host/box/boxrun" --bin "$build/bin" --disk "$demo/disk" --config "$demo/config" \
    --out "$demo/out" --env DEMO_I2S="$build/lib/libi2s_standin.so" --env BUILD="$build" \
    -- bash "$here/demo.sh" --inside
rc=$?
[ $rc -eq 0 ] || { echo "demo: the box run failed (status $rc)" >&2; exit 1; }

out=$demo/out
echo
echo "== The disk list dorvu read ($D/.udisklist) =="
cat "$out/udisklist" 2>/dev/null
echo
echo
echo "== What happened, second by second =="
cat "$out/timeline"
echo
echo "== The play-state file at the end =="
cat "$out/playusb.final.xml"
echo
echo "== Requests the I2S device received ($out/i2s/journal) =="
cat "$out/i2s/journal"
echo
echo "== What the box played =="
for w in "$out"/i2s/pcm-*.wav; do
    [ -f "$w" ] || continue
    secs=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$w" 2>/dev/null)
    printf '  %s  (%s s)\n' "$w" "${secs:-?}"
done
echo
echo "dorvu's own log: $out/dorvu.log"
echo "Listen with e.g.: ffplay $out/i2s/pcm-1.wav"
