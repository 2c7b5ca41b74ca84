# A day in the booted box, for scripts that drive one inside it (the day test,
# the demo): box time, notes, the watched processes, the box's state at the
# start of the day, the Wi-Fi link's switch, and the day's timeline. Source it
# inside the box (bash); BOX_SRC is the source tree, TIMEWARP the box's clock
# speed-up. Notes go to $DAY/notes as "TIME WHO WHAT".
W=${TIMEWARP:-1}
T0=$(cat /var/run/procd.t0)
PLAYUSB=/etc/config/playusb.xml
D=/tmp/mnt/sda1
DAY=${DAY:-/tmp/day}
mkdir -p "$DAY"
: >"$DAY/notes"
: >"$DAY/violations"
source "$BOX_SRC/host/box/web_iface.sh"

# Box time: seconds since the supervisor started, on the box's fast clock.
box_time() {
    local up
    read -r up _ </proc/uptime
    awk -v u="$up" -v t="$T0" -v w="$W" 'BEGIN { printf "%.1f", (u - t) * w }'
}
note() { printf '%s %s %s\n' "$(box_time)" "$1" "$2" >>"$DAY/notes"; } # who what
bsleep() { sleep "$(awk -v s="$1" -v w="$W" 'BEGIN { print s / w }')"; }
# wait_box S COMMAND...: polls COMMAND until it succeeds, for S seconds of box time.
wait_box() {
    local tries
    tries=$(awk -v s="$1" -v w="$W" 'BEGIN { print int(s / w * 10) + 1 }')
    shift
    while [ "$tries" -gt 0 ]; do
        "$@" && return 0
        sleep 0.1
        tries=$((tries - 1))
    done
    return 1
}

# The processes the day is about, one "name pid" a line: the five daemons,
# the access point and client daemons, the DHCP clients by interface, the
# renderer and the AirPlay receiver. The program lies in a file: on a command
# line its names would show in `ps` to the daemons' own `ps | grep` checks.
cat >"$DAY/watched.awk" <<'AWK'
$3 == "udhcpc" { for (i = 4; i < NF; i++) if ($i == "-i") { print "udhcpc(" $(i + 1) ")", $1; next } }
$3 ~ /^(hostapd|wpa_supplicant|velmar|pravik)$/ { print $3, $1 }
$3 ~ /^\/usr\/sbin\/(dorvu|wan_watch|wifi_survey|renderer_ctl|wifi_watch)$/ { sub(".*/", "", $3); print $3, $1 }
AWK
watched() { ps | awk -f "$DAY/watched.awk" | sort; }
runs() { pidof "$1" >/dev/null; }
# hostapd by the list above: a "pidof hostapd" would itself show in the
# daemons' `ps | grep hostapd` as a running access point.
ap_runs() { watched | grep -q '^hostapd '; }
clients() { watched | awk -v n="udhcpc($1)" '$1 == n { print $2 }'; }
eth0_address() { ip -4 -o addr show dev eth0 2>/dev/null | awk '{ print $4 }'; }
uci_get() { uci get "$1" 2>/dev/null; }

# day_morning: the box as it is in the morning (wlan1 with its DHCP client,
# the access point's runtime file, process numbers that wrapped once), and the
# watcher started (its pid in WATCHER).
day_morning() {
    # wlan1 (for the DHCP client on it) and the access point's runtime file,
    # as the box's own Wi-Fi scripts leave them.
    /usr/sbin/ip link add wlan1 type veth peer name wl1peer && /usr/sbin/ip link set wlan1 up
    printf 'interface=wlan0\nssid=MusicBox\nchannel=6\nhw_mode=g\nht_capab=[HT40+][SHORT-GI-20]\n' >/tmp/run/hostapd-phy0.conf
    # The box has run for a while: the DHCP client on wlan1 got its number
    # before process numbers wrapped, so the shells of later kills come first.
    echo 40000 >/proc/sys/kernel/ns_last_pid
    box_fake_daemon udhcpc -t 0 -i wlan1 -b -p /var/run/dhcp-wlan1.pid -O rootpath -R
    echo 300 >/proc/sys/kernel/ns_last_pid
    /usr/bin/python3 -I -B "$BOX_SRC/host/box/box_watch.py" "$T0" "$W" "$DAY/notes" "$DAY/violations" &
    WATCHER=$!
    note test "booted: $(ls /etc/rc.d | grep '^S' | tr '\n' ' '); process numbers wrapped after the wlan1 client"
}

# wifi_link_drop CHANNEL: the client link drops and the upstream network
# "Home" moves to CHANNEL (the wireless stand-in's scenario).
wifi_link_drop() {
    rm -f /box/out/fake/ClientStatus.sh.up
    local freq=$((2407 + 5 * $1))
    printf 'cell 00:11:22:33:44:03\nfreq %s\nqual 60 -50 0\nencode on\nessid Home\nie 30140100000FAC040100000FAC040100000FAC020000\n' \
        "$freq" >/box/out/wlan/scenario.new && mv /box/out/wlan/scenario.new /box/out/wlan/scenario
    note test "the Wi-Fi client link drops; 'Home' moves to channel $1"
}
wifi_link_back() {
    : >/box/out/fake/ClientStatus.sh.up
    note test "the Wi-Fi client link is up again"
}

# day_timeline: the notes, procd's events, the stand-ins' calls (with
# /box/out/calls) and the violations in one list by box time, to stdout.
day_timeline() {
    {
        cat "$DAY/notes"
        [ -f /var/log/procd.log ] && awk '{ t = $1; $1 = ""; print t, "procd", substr($0, 2) }' /var/log/procd.log
        [ -f /box/out/calls ] && awk -v t0="$T0" -v w="$W" '{ t = ($1 - t0) * w; $1 = ""; printf "%.1f%s\n", t, $0 }' /box/out/calls |
            awk '{ if ($2 == "python3" || $2 == "?" || $2 == "bash") $2 = "test"; print }'
        awk '{ t = $1; $1 = ""; print t, "VIOLATION", substr($0, 2) }' "$DAY/violations"
    } | sort -s -n -k1,1 | awk '{ t = $1; who = $2; $1 = $2 = ""; sub(/^ +/, ""); printf "%7.1f  %-12s %s\n", t, who, $0 }'
}
