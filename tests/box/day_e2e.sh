#!/usr/bin/env bash
# A day in the box: booted by its init scripts under the procd stand-in, every
# daemon running, the box's clock sped up with the time stand-in, driven
# through a scripted day (a disk scanned and played, web edits of the
# play-state file, the Wi-Fi link dropping while the upstream network moves
# channel, the WAN cable pulled and plugged, the WAN protocol switched,
# hostapd dying, a firmware upload through the web server). Checks what must
# hold across programs and prints the day's timeline.
source "$BOX_SRC/tests/e2e/lib.sh"
for p in procd dorvu udisk_scan wifi_survey wan_watch renderer_ctl wifi_watch fw_upgrade uci; do box_need $p; done
for l in timewarp wlan_standin i2s_standin; do
    [ -f "$BOX_BUILD/lib/lib$l.so" ] || { fail "lib$l.so was not built"; exit 1; }
done
box_need_upstream
box_workdir
w=$BOX_WORK
WARP=8
mkdir -p "$w/out/fake" "$w/out/wlan" "$w/disk" "$w/config"

# The disk: three 8-second songs, no list yet.
for i in 1 2 3; do
    ffmpeg -loglevel error -nostdin -y -f lavfi -i "sine=frequency=$((330 + 110 * i)):duration=8:sample_rate=44100" \
        -ac 2 "$w/disk/song$i.mp3" || { fail "ffmpeg cannot make the songs"; exit 1; }
done
python3 "$BOX_SRC/tests/fw_upgrade/fw_fixture.py" image "$w/out/good.img" || exit 1
# The play-state file, the wired WAN on DHCP, the client network "Home" on
# WPA2 with the radio on channel 6.
cp "$BOX_SRC"/tests/box/day_config/* "$w/config/"

# The client link is up at first; "wifi up" brings hostapd back.
: >"$w/out/fake/ClientStatus.sh.up"
echo 1 >"$w/out/fake/wifi.up_after"
printf 'cell 00:11:22:33:44:03\nfreq 2437\nqual 60 -50 0\nencode on\nessid Home\nie 30140100000FAC040100000FAC040100000FAC020000\n' \
    >"$w/out/wlan/scenario"
: >"$w/out/calls"

boxrun --boot --upstream dhcp --httpd --disk "$w/disk" --config "$w/config" --out "$w/out" \
    --daemon "hostapd -P /var/run/wifi-phy0.pid -B /var/run/hostapd-phy0.conf" \
    --daemon "wpa_supplicant -B -P /var/run/wpa_supplicant-wlan1.pid -D nl80211 -i wlan1 -c /var/run/wpa_supplicant-wlan1.conf" \
    --env LD_PRELOAD="$BOX_BUILD/lib/libtimewarp.so $BOX_BUILD/lib/libwlan_standin.so $BOX_BUILD/lib/libi2s_standin.so" \
    --env TIMEWARP=$WARP --env BOX_I2S_SPEED=$WARP --env BOX_I2S_DISCARD=1 --env BOX_SRC="$BOX_SRC" \
    -- bash "$BOX_SRC/tests/box/day_inside.sh"
assert_status 0 $? "the day's checks inside the box"
echo "== The day in the box (box seconds; the box's clock ran ${WARP}-fold fast) =="
cat "$w/out/timeline" 2>/dev/null || fail "no timeline"
