#!/usr/bin/env bash
# The whole music box on this PC: builds the programs and stand-ins, boots the
# box with its init scripts (the procd stand-in, every daemon), scans and
# plays a simulated USB disk and drives a short stretch of a day through the
# box's own interfaces, its clock sped up: a web edit and a song picked
# through the web interface stand-in's CGIs, the Wi-Fi client link lost and
# found, the WAN cable pulled and plugged, a firmware upload to the upload
# CGI. Prints the timeline and draws it (one lane per program over time).
#
#   ./demo.sh            the stretch of a day, in about a minute (as root on Debian 12)
#   ./demo.sh --web      the box booted and playing in real time, its web
#                        interface on a port of this PC, until Ctrl-C
#   BUILD=dir ./demo.sh  use another build folder (default ./build)
#   WEB_PORT=N           the PC's port for the web interface (default: a free one)
#
# What the box played lands in $BUILD/demo/out/i2s/pcm-*.wav, the picture in
# $BUILD/demo/day.svg and day.png.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${BUILD:-$here/build}
demo=$build/demo
SONGS=(song1.mp3 song2.flac song3.wav song4.m4a)

# ---- inside the box -----------------------------------------------------------

# inside_wait WHAT BOX_SECONDS COMMAND...: waits; a wait that runs out is
# noted in the timeline (this is a demo, not a test: it goes on).
inside_wait() {
    local what=$1 s=$2
    shift 2
    wait_box "$s" "$@" || note demo "$what did not happen within $s s"
}

web() { curl -s -m 20 "$@"; } # the box's own web server, from inside

inside() {
    export LD_PRELOAD= # the script's own waits are real ones
    source "$BOX_SRC/host/box/box_day.sh"
    day_morning
    local port
    port=$(cat /box/out/web_port 2>/dev/null)
    echo "demo: the box's web interface: http://127.0.0.1:$port/"
    for d in dorvu wan_watch wifi_survey renderer_ctl wifi_watch; do inside_wait "$d running" 30 runs $d; done
    inside_wait "a lease on the WAN port" 60 eval '[ -n "$(eth0_address)" ]'
    note demo "the WAN port has $(eth0_address)"

    udisk_scan
    note udisk_scan "wrote $D/.udisklist (status $?)"
    cp "$D/.udisklist" /box/out/udisklist 2>/dev/null
    /etc/init.d/dorvu restart
    note demo "/etc/init.d/dorvu restart, so the player reads the new list"
    inside_wait "dorvu playing" 45 eval '[ "$(xml_get playstate)" = PLAYING ]'

    if [ "$1" = --web ]; then
        echo "demo: the box runs until Ctrl-C (open the address above in a browser)"
        while [ ! -f /box/out/stop ]; do sleep 0.5; done
        note demo "Ctrl-C: the demo ends"
    else
        stretch
    fi
    kill "$WATCHER" 2>/dev/null
    day_timeline >/box/out/timeline
    cp "$PLAYUSB" /box/out/playusb.final.xml
}

# The stretch of a day, through the box's own interfaces.
stretch() {
    bsleep 4
    note web "volume 80 (CGI play)"
    web -d 'action=volume&value=80' http://127.0.0.1/cgi-bin/web/play >/dev/null
    bsleep 6
    local cur pick="" u
    cur=$(xml_get url)
    for u in $(grep -o '"url":"[^"]*"' "$D/.udisklist" | sed 's/"url":"\(.*\)"/\1/'); do
        [ "$u" != "$cur" ] && pick=$u
    done
    note web "picks ${pick##*/} (CGI play)"
    web --data-urlencode action=pick --data-urlencode "url=$pick" http://127.0.0.1/cgi-bin/web/play >/dev/null
    inside_wait "the picked song playing" 30 eval '[ "$(xml_get songname)" = "'"${pick##*/}"'" ]'
    bsleep 4

    wifi_link_drop 11
    inside_wait "wifi_survey moving the radio to channel 11" 100 eval '[ "$(uci_get wireless.radio0.channel)" = 11 ]'
    inside_wait "the access point running again" 30 ap_runs
    wifi_link_back
    bsleep 4

    local old
    old=$(clients eth0)
    box_cable out
    note demo "WAN cable pulled"
    inside_wait "wan_watch restarting the eth0 DHCP client" 45 eval '[ "$(clients eth0)" != "'"$old"'" ]'
    bsleep 5
    box_cable in
    note demo "WAN cable plugged in"
    inside_wait "a lease again" 60 eval '[ -n "$(eth0_address)" ]'
    note demo "the WAN port has $(eth0_address)"
    bsleep 4

    note web "firmware upload ($(wc -c </box/out/good.bin) bytes, multipart to the upload CGI)"
    local answer
    answer=$(curl -s -m 120 -F "firmware=@/box/out/good.bin;type=application/octet-stream" \
        http://127.0.0.1/cgi-bin/fw_upgrade)
    note web "answer: $answer"
    cmp -s /tmp/fwupgrade /box/out/good.bin && note demo "/tmp/fwupgrade staged: the box would now write it and reboot"
    bsleep 8
}

if [ "${1:-}" == "--inside" ]; then
    inside "${2:-}"
    exit 0
fi

# ---- on the PC ----------------------------------------------------------------

mode=${1:-}
[ -z "$mode" ] || [ "$mode" == --web ] || { echo "usage: ./demo.sh [--web]" >&2; exit 2; }
cd "$here"
./setup.sh || exit 1
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" >/dev/null || exit 1
fi
targets=(dorvu udisk_scan wifi_survey wan_watch renderer_ctl wifi_watch fw_upgrade nor uci_cli
    timewarp wlan_standin i2s_standin)
echo "demo: building the box's programs and stand-ins in $build"
nice cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" 2>&1 | grep -E 'error|warning' || true
for p in dorvu udisk_scan wifi_survey wan_watch renderer_ctl wifi_watch fw_upgrade uci; do
    [ -x "$build/bin/$p" ] || { echo "demo: build failed ($p)" >&2; exit 1; }
done
for l in timewarp wlan_standin i2s_standin; do
    [ -f "$build/lib/lib$l.so" ] || { echo "demo: build failed (lib$l.so)" >&2; exit 1; }
done

rm -rf "$demo"
mkdir -p "$demo/disk" "$demo/config" "$demo/out/fake" "$demo/out/wlan"
out=$demo/out
echo "demo: generating songs on the simulated disk $demo/disk"
gen() { # name seconds frequency rate channels
    ffmpeg -loglevel error -nostdin -y -f lavfi \
        -i "sine=frequency=$3:duration=$2:sample_rate=$4" -ac "$5" "$demo/disk/$1" || exit 1
}
gen "${SONGS[0]}" 20 440 44100 2
gen "${SONGS[1]}" 20 554 44100 1
gen "${SONGS[2]}" 20 659 22050 2
gen "${SONGS[3]}" 20 880 48000 2
python3 tests/fw_upgrade/fw_fixture.py image "$out/good.bin" || exit 1
# The box's settings: the play-state file, the wired WAN on DHCP, the client
# network "Home" on WPA2 with the radio on channel 6.
cp tests/box/day_config/* "$demo/config/"
# The client link is up; "wifi up" brings hostapd back; "Home" is on channel 6.
: >"$out/fake/ClientStatus.sh.up"
echo 1 >"$out/fake/wifi.up_after"
printf 'cell 00:11:22:33:44:03\nfreq 2437\nqual 60 -50 0\nencode on\nessid Home\nie 30140100000FAC040100000FAC040100000FAC020000\n' \
    >"$out/wlan/scenario"
: >"$out/calls"

# The stretch runs the box's clock 8-fold fast; --web runs it in real time.
warp=8
[ "$mode" == --web ] && warp=1
if [ "$mode" == --web ]; then
    echo "demo: booting the box; its web interface comes next"
else
    echo "demo: booting the box and driving a stretch of its day (about a minute)..."
fi
# The box in a session of its own: Ctrl-C here ends it in order.
setsid "$here/host/box/boxrun" --boot --upstream dhcp --web "${WEB_PORT:-0}" --bin "$build/bin" \
    --disk "$demo/disk" --config "$demo/config" --out "$out" \
    --daemon "hostapd -P /var/run/wifi-phy0.pid -B /var/run/hostapd-phy0.conf" \
    --daemon "wpa_supplicant -B -P /var/run/wpa_supplicant-wlan1.pid -D nl80211 -i wlan1 -c /var/run/wpa_supplicant-wlan1.conf" \
    --env LD_PRELOAD="$build/lib/libtimewarp.so $build/lib/libwlan_standin.so $build/lib/libi2s_standin.so" \
    --env TIMEWARP=$warp --env BOX_I2S_SPEED=$warp --env BOX_SRC="$here" \
    -- bash "$here/demo.sh" --inside "$mode" &
box=$!
# Ctrl-C: with --web the box ends its day in order and the rest is shown;
# during the stretch it simply ends.
interrupted=0
if [ "$mode" == --web ]; then
    trap ': >"$out/stop"' INT
else
    trap 'interrupted=1; kill $box 2>/dev/null' INT
fi
while :; do
    wait $box
    rc=$?
    kill -0 $box 2>/dev/null || break # a trapped Ctrl-C ends the wait, not the box
done
trap - INT
[ $interrupted -eq 0 ] || { echo "demo: interrupted" >&2; exit 130; }
[ $rc -eq 0 ] || { echo "demo: the box run failed (status $rc)" >&2; exit 1; }

echo
echo "== The disk list udisk_scan wrote (/tmp/mnt/sda1/.udisklist) =="
cat "$out/udisklist" 2>/dev/null
echo
echo
echo "== The box's day (box seconds; its clock ran ${warp}-fold fast) =="
cat "$out/timeline"
echo
echo "== The play-state file at the end =="
cat "$out/playusb.final.xml"
echo
echo "== Requests the I2S device received ($out/i2s/journal) =="
grep -v '^write' "$out/i2s/journal" 2>/dev/null | uniq -c | awk '{ $1 = ($1 > 1 ? $1 "x" : ""); print "  " $0 }'
echo
echo "== What the box played =="
for w in "$out"/i2s/pcm-*.wav; do
    [ -f "$w" ] || continue
    secs=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$w" 2>/dev/null)
    printf '  %s  (%s s)\n' "$w" "${secs:-?}"
done
echo
if /usr/bin/python3 host/box/box_day_plot.py "$out/timeline" "$demo/day.svg" "$demo/day.png"; then
    echo "The picture of the day (one lane per program): $demo/day.svg (and day.png)"
else
    echo "demo: no picture (python3-matplotlib?)" >&2
fi
echo "The box's logs: $out/ (calls, journal, udhcpd.log); listen with e.g. ffplay $out/i2s/pcm-1.wav"
