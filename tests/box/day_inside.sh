# Inside the booted box (by day_e2e.sh): the day's events, a watcher of the
# process list and the play-state file, the checks, and the timeline in
# /box/out/timeline.
source "$BOX_SRC/tests/e2e/lib.sh"
export LD_PRELOAD=  # the test's own waits are real ones
W=${TIMEWARP:-1}
T0=$(cat /var/run/procd.t0)
PLAYUSB=/etc/config/playusb.xml
D=/tmp/mnt/sda1
day=/tmp/day
mkdir -p $day
: >$day/notes
: >$day/violations

# Box time: seconds since the supervisor started, on the box's fast clock.
box_time() {
    local up
    read -r up _ </proc/uptime
    awk -v u="$up" -v t="$T0" -v w="$W" 'BEGIN { printf "%.1f", (u - t) * w }'
}
note() { printf '%s %s %s\n' "$(box_time)" "$1" "$2" >>$day/notes; } # who what
bsleep() { sleep "$(awk -v s="$1" -v w="$W" 'BEGIN { print s / w }')"; }
# wait_box S COMMAND...: wait_for S seconds of box time.
wait_box() {
    local s=$1
    shift
    wait_for "$(awk -v s="$s" -v w="$W" 'BEGIN { print s / w }')" "$@"
}
source "$BOX_SRC/host/box/web_iface.sh"

# The processes the day is about, one "name pid" a line: the five daemons,
# the access point and client daemons, the DHCP clients by interface, the
# renderer and the AirPlay receiver. The program lies in a file: on a command
# line its names would show in `ps` to the daemons' own `ps | grep` checks.
cat >$day/watched.awk <<'AWK'
$3 == "udhcpc" { for (i = 4; i < NF; i++) if ($i == "-i") { print "udhcpc(" $(i + 1) ")", $1; next } }
$3 ~ /^(hostapd|wpa_supplicant|velmar|pravik)$/ { print $3, $1 }
$3 ~ /^\/usr\/sbin\/(dorvu|wan_watch|wifi_survey|renderer_ctl|wifi_watch)$/ { sub(".*/", "", $3); print $3, $1 }
AWK
watched() { ps | awk -f $day/watched.awk | sort; }
runs() { pidof "$1" >/dev/null; }
# hostapd by the list above: a "pidof hostapd" would itself show in the
# daemons' `ps | grep hostapd` as a running access point.
ap_runs() { watched | grep -q '^hostapd '; }
clients() { watched | awk -v n="udhcpc($1)" '$1 == n { print $2 }'; }
eth0_address() { ip -4 -o addr show dev eth0 2>/dev/null | awk '{ print $4 }'; }
uci_get() { uci get "$1" 2>/dev/null; }

# ---- morning: the box as it booted -------------------------------------------
# wlan1 (for the DHCP client on it) and the access point's runtime file, as
# the box's own Wi-Fi scripts leave them.
/usr/sbin/ip link add wlan1 type veth peer name wl1peer && /usr/sbin/ip link set wlan1 up
printf 'interface=wlan0\nssid=MusicBox\nchannel=6\nhw_mode=g\nht_capab=[HT40+][SHORT-GI-20]\n' >/tmp/run/hostapd-phy0.conf
# The box has run for a while: the DHCP client on wlan1 got its number
# before process numbers wrapped, so the shells of later kills come first.
echo 40000 >/proc/sys/kernel/ns_last_pid
box_fake_daemon udhcpc -t 0 -i wlan1 -b -p /var/run/dhcp-wlan1.pid -O rootpath -R
echo 300 >/proc/sys/kernel/ns_last_pid
python3 -I -B "$BOX_SRC/tests/box/day_watch.py" "$T0" "$W" $day/notes $day/violations &
watcher_pid=$!
note test "booted: $(ls /etc/rc.d | grep '^S' | tr '\n' ' '); process numbers wrapped after the wlan1 client"
for d in wan_watch wifi_survey dorvu renderer_ctl wifi_watch; do
    check "$d runs after the boot" wait_box 30 runs $d
done
check "a lease on the WAN port" wait_box 60 eval '[ -n "$(eth0_address)" ]'
note test "the WAN port has $(eth0_address)"

# ---- a disk scanned and played -----------------------------------------------
udisk_scan
st=$?
note udisk_scan "wrote $D/.udisklist (status $st)"
assert_eq 3 "$(grep -o '"url"' $D/.udisklist | wc -l)" "the list holds the three songs"
/etc/init.d/dorvu restart
note test "/etc/init.d/dorvu restart, so the player reads the new list"
check "dorvu plays" wait_box 45 eval '[ "$(xml_get playstate)" = PLAYING ]'

# ---- web edits -----------------------------------------------------------------
bsleep 2
web_set volume 80
note web "volume 80"
bsleep 3
assert_eq 80 "$(xml_get volume)" "a volume edit survives the player's writes"
# An edit just before a song change.
first=$(xml_get songname)
wait_box 30 eval '[ "$(xml_get length)" -gt 0 ] && [ "$(xml_get position)" -ge $(($(xml_get length) - 2)) ]'
web_set volume 65
note web "volume 65, just before the song ends"
check "the next song begins" wait_box 45 eval '[ "$(xml_get songname)" != "'"$first"'" ] && [ "$(xml_get playstate)" = PLAYING ]'
bsleep 3
assert_eq 65 "$(xml_get volume)" "a volume edit made just before a song change survives it"
# A song picked by URL: neither the one playing nor the one that comes next.
mapfile -t urls < <(grep -o '"url":"[^"]*"' $D/.udisklist | sed 's/"url":"\(.*\)"/\1/')
cur=$(xml_get url)
for i in 0 1 2; do [ "${urls[$i]}" = "$cur" ] && pick=${urls[$(((i + 2) % 3))]}; done
web_set url "$pick"
note web "plays $pick"
check "the song asked for plays" \
    wait_box 45 eval '[ "$(xml_get songname)" = "'"${pick##*/}"'" ] && [ "$(xml_get playstate)" = PLAYING ]'

# ---- the Wi-Fi link drops while the upstream network moves channel ---------------
rm -f /box/out/fake/ClientStatus.sh.up
printf 'cell 00:11:22:33:44:03\nfreq 2462\nqual 60 -50 0\nencode on\nessid Home\nie 30140100000FAC040100000FAC040100000FAC020000\n' \
    >/box/out/wlan/scenario.new && mv /box/out/wlan/scenario.new /box/out/wlan/scenario
note test "the Wi-Fi client link drops; 'Home' moves from channel 6 to 11"
check "wifi_survey moves the radio to channel 11" wait_box 100 eval '[ "$(uci_get wireless.radio0.channel)" = 11 ]'
note test "UCI: wireless.radio0.channel=$(uci_get wireless.radio0.channel) htmode=$(uci_get wireless.radio0.htmode)"
check "the access point runs again" wait_box 30 ap_runs
check "the access point's file has channel 11" grep -qx channel=11 /tmp/run/hostapd-phy0.conf
check "a DHCP client runs on wlan1" wait_box 30 eval '[ -n "$(clients wlan1)" ]'
: >/box/out/fake/ClientStatus.sh.up
note test "the Wi-Fi client link is up again"

# ---- the WAN cable pulled and plugged --------------------------------------------
old=$(clients eth0)
box_cable out
note test "WAN cable pulled"
check "wan_watch restarts the eth0 client" wait_box 45 eval '[ -n "$(clients eth0)" ] && [ "$(clients eth0)" != "'"$old"'" ]'
bsleep 5
# The client the plug starts gets a high number, and the numbers wrap again.
echo 45000 >/proc/sys/kernel/ns_last_pid
box_cable in
note test "WAN cable plugged in"
check "a lease again after plugging in" wait_box 60 eval '[ -n "$(eth0_address)" ]'
note test "the WAN port has $(eth0_address)"
check "the eth0 client has a number above the wrap" eval '[ "$(clients eth0)" -gt 45000 ]'
echo 2000 >/proc/sys/kernel/ns_last_pid
note test "process numbers wrap (ns_last_pid 2000)"

# ---- the WAN protocol switched ----------------------------------------------------
uci set network.wan.proto=static && uci commit network
note web "WAN protocol static"
bsleep 3
before=$(clients eth0)
box_cable out
note test "WAN cable pulled (static)"
bsleep 3
box_cable in
note test "WAN cable plugged in (static)"
bsleep 3
assert_eq "$before" "$(clients eth0)" "static: wan_watch leaves the DHCP client alone"
uci set network.wan.proto=dhcp && uci commit network
note web "WAN protocol dhcp"
bsleep 3
old=$(clients eth0)
box_cable out
note test "WAN cable pulled (dhcp)"
check "dhcp again: wan_watch restarts the eth0 client" \
    wait_box 45 eval '[ -n "$(clients eth0)" ] && [ "$(clients eth0)" != "'"$old"'" ]'
bsleep 5
box_cable in
note test "WAN cable plugged in (dhcp)"
check "dhcp: a lease again" wait_box 60 eval '[ -n "$(eth0_address)" ]'
note test "the WAN port has $(eth0_address)"

# ---- hostapd dies ---------------------------------------------------------------
killall -9 hostapd
note test "hostapd dies"
check "wifi_watch brings the access point back" wait_box 120 ap_runs
check "through wifi up" grep -q ' wifi_watch wifi up$' /box/out/calls
assert_eq 11 "$(uci_get wireless.radio0.channel)" "UCI keeps the channel the reconnect chose"
assert_eq 65 "$(xml_get volume)" "the web interface's volume is still there"

# ---- a firmware upload -------------------------------------------------------------
note web "firmware upload (curl, $(wc -c </box/out/good.img) bytes)"
answer=$(curl -s -m 120 -F "firmware=@/box/out/good.img;type=application/octet-stream" \
    http://127.0.0.1/cgi-bin/fw_upgrade)
staged=$(box_time)
note web "answer: $answer"
assert_eq "nidaye" "$answer" "the upload is answered as a success"
check "the image is staged" cmp -s /tmp/fwupgrade /box/out/good.img
note test "/tmp/fwupgrade staged ($(wc -c </tmp/fwupgrade) bytes)"
for d in dorvu wan_watch wifi_survey renderer_ctl wifi_watch; do
    check "$d does not run once the image is staged" eval '! runs '"$d"
done
assert_eq STOPPED "$(xml_get playstate)" "the player wrote STOPPED on its way out"
check "the player ended on its SIGTERM, before any SIGKILL" \
    grep -q 'dorvu::instance1 pid [0-9]* ended (status 1) after its stop' /var/log/procd.log
calls_at=$(wc -l </box/out/calls)
bsleep 80
note test "80 s after the staging"
came=$(awk -v s="$staged" '$1 > s && $2 == "ps" && $3 == "+"' $day/notes)
assert_eq "" "$came" "nothing of the daemons or what they restart comes back within 80 s of the staging"
assert_eq "" "$(tail -n +$((calls_at + 1)) /box/out/calls)" "no outside command is run after the staging"
assert_eq 11 "$(uci_get wireless.radio0.channel)" "UCI still holds the channel the reconnect chose"

kill $watcher_pid
wait $watcher_pid 2>/dev/null
assert_eq "" "$(cat $day/violations)" "never two DHCP clients on one interface nor two hostapd"

# ---- the timeline ------------------------------------------------------------------
{
    cat $day/notes
    awk '{ t = $1; $1 = ""; print t, "procd", substr($0, 2) }' /var/log/procd.log
    awk -v t0="$T0" -v w="$W" '{ t = ($1 - t0) * w; $1 = ""; printf "%.1f%s\n", t, $0 }' /box/out/calls |
        awk '{ if ($2 == "python3" || $2 == "?" || $2 == "bash") $2 = "test"; print }'
    awk '{ t = $1; $1 = ""; print t, "VIOLATION", substr($0, 2) }' $day/violations
} | sort -s -n -k1,1 | awk '{ t = $1; who = $2; $1 = $2 = ""; sub(/^ +/, ""); printf "%7.1f  %-12s %s\n", t, who, $0 }' \
    >/box/out/timeline
