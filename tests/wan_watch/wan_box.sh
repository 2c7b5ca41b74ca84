# Helpers for the scenarios run inside a box with a cable (boxrun --upstream,
# --fake uci so that each pass's "uci commit" lands in the journal, --fake
# brctl journaling and acting). Sourced after tests/e2e/lib.sh.

NETWORK=/etc/config/network
JOURNAL=/box/out/journal

# wan_proto VALUE|"": writes the network configuration; "" leaves the wan
# section without its proto option (it cannot be read).
wan_proto() {
    {
        printf "config interface 'lan'\n\toption ifname 'eth0'\n\toption type 'bridge'\n"
        printf "\toption proto 'static'\n\toption ipaddr '192.168.1.1'\n\n"
        printf "config interface 'wan'\n\toption ifname 'eth0'\n"
        [ -z "$1" ] || printf "\toption proto '%s'\n" "$1"
    } >"$NETWORK"
}

bridge_of_eth0() { local m; m=$(readlink /sys/class/net/eth0/master) && echo "${m##*/}"; }
eth0_address() { ip -4 -o addr show dev eth0 | awk '{ print $4 }'; }
passes() { grep -c '^uci commit$' "$JOURNAL"; }
brctl_calls() { grep '^brctl ' "$JOURNAL"; }
# clients IF: process numbers of the DHCP clients on IF, one a line.
clients() { ps | grep '[u]dhcpc' | grep -- "-i $1 " | awk '{ print $1 }'; }

# wait_passes N: until N more passes have ended.
wait_passes() {
    local until=$(($(passes) + $1))
    wait_for 60 eval '[ "$(passes)" -ge '"$until"' ]' || { fail "the daemon stopped passing"; exit 1; }
}

# wlan1 for the daemon's restarted client, with an earlier client on it.
fake_wlan1() {
    /usr/sbin/ip link add wlan1 type veth peer name wl1peer && /usr/sbin/ip link set wlan1 up
    box_fake_daemon udhcpc -t 0 -i wlan1 -b -p /var/run/dhcp-wlan1.pid -O rootpath -R
}

start_wan_watch() {
    wan_watch >/box/out/wan_watch.log 2>&1 &
    WAN_WATCH=$!
}

# one_client_on IF [NOT_PID]: exactly one client on IF (not NOT_PID); no strays.
one_client_on() {
    local c
    c=$(clients "$1")
    [ "$(printf '%s' "$c" | grep -c .)" = 1 ] && [ "$c" != "${2:-}" ]
}
