#!/usr/bin/env bash
# The web interface stand-in driven by headless Chromium through Selenium,
# against the booted box reached on a port of the PC's loopback: a song
# picked, the volume, pause and resume, a firmware upload, and an upload
# answer for a field name holding a script. A failing run leaves a
# screenshot in the build's tests/web/ folder.
source "$BOX_SRC/tests/e2e/lib.sh"
for p in dorvu udisk_scan fw_upgrade uci; do box_need $p; done
[ -f "$BOX_BUILD/lib/libi2s_standin.so" ] || { fail "libi2s_standin.so was not built"; exit 1; }
if ! command -v chromium >/dev/null || ! command -v chromedriver >/dev/null ||
    ! /usr/bin/python3 -c 'import selenium' 2>/dev/null; then
    fail "chromium, chromium-driver or python3-selenium is missing (setup.sh installs them)"
    exit 1
fi
box_workdir
w=$BOX_WORK
shots=$BOX_BUILD/tests/web
mkdir -p "$w/out/fake" "$w/disk" "$w/config" "$shots"
for i in 1 2 3; do
    ffmpeg -loglevel error -nostdin -y -f lavfi -i "sine=frequency=$((330 + 110 * i)):duration=20:sample_rate=44100" \
        -ac 2 "$w/disk/song$i.mp3" || { fail "ffmpeg cannot make the songs"; exit 1; }
done
fixture=$BOX_SRC/tests/fw_upgrade/fw_fixture.py
# Named .bin: browsers send that as application/octet-stream, as the CGI expects.
python3 "$fixture" image "$w/out/good.bin" && python3 "$fixture" image "$w/bad_mark.bin" --mark NotOurs ||
    { fail "cannot make the images"; exit 1; }
cp "$BOX_SRC"/tests/box/day_config/* "$w/config/"

boxrun --boot --web 0 --disk "$w/disk" --config "$w/config" --out "$w/out" \
    --env LD_PRELOAD="$BOX_BUILD/lib/libi2s_standin.so" --env BOX_I2S_DISCARD=1 --env BOX_SRC="$BOX_SRC" \
    -- bash "$BOX_SRC/tests/web/web_inside.sh" &
box=$!
wait_for 60 test -f "$w/out/ready"
check "the box booted and plays" test -f "$w/out/ready"
port=$(cat "$w/out/web_port" 2>/dev/null)
# A URL smuggling a second line past the list check: refused, the file whole.
answer=$(curl -s --data-urlencode action=pick --data-urlencode $'url=x\n/tmp/mnt/sda1/song1.mp3' \
    "http://127.0.0.1:$port/cgi-bin/web/play")
assert_eq '{"ok":false,"error":"this song cannot be picked here"}' "$answer" "a URL holding a newline is refused"
check "the play-state file is whole" eval 'curl -s "http://127.0.0.1:$port/cgi-bin/web/state" | grep -q "\"playstate\":\"PLAYING\""'
/usr/bin/python3 -I -B "$BOX_SRC/tests/web/web_browser.py" "http://127.0.0.1:$port/" \
    "$w/out/i2s/journal" "$w/out/good.bin" "$w/bad_mark.bin" "$shots" --shot "$shots/page.png"
assert_status 0 $? "the browser's checks (a failure leaves $shots/failure.png)"
: >"$w/out/browser_done"
wait $box
assert_status 0 $? "the checks inside the box"
