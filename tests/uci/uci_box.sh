#!/usr/bin/env bash
# The `uci` command as the box's scripts and programs use it: /sbin/uci in the
# sandbox, on /etc/config, /tmp/.uci and /var/state; then two processes that
# set and commit at once while a third keeps reading.
source "$BOX_SRC/tests/e2e/lib.sh"
box_need uci

box_workdir
w=$BOX_WORK
mkdir -p "$w/cfg" "$w/out"
cat >"$w/cfg/wireless" <<'EOF2'
config wifi-device 'radio0'
	option channel '11'
config wifi-iface
	option ssid 'BoxAP'
config wifi-iface
	option ssid 'Upstream'
	list dns '1.1.1.1'
	list dns 'a b'
EOF2
printf "config interface 'wan'\n\toption proto 'dhcp'\n" >"$w/cfg/network"

# One line per output line, each run's status after "=", stderr in order.
cat >"$w/out/session.sh" <<'EOF2'
run() { "$@" 2>&1; echo "=$?"; }
[ -x /sbin/uci ] && echo /sbin/uci
run uci get wireless.radio0.channel
run uci get wireless.@wifi-iface[1].dns
run uci get wireless.@wifi-iface[-1]
run uci get wireless
run uci get wireless.radio0.nosuch
run /sbin/uci get nosuch.a.b
run uci get wireless.radio0.channel.x
run uci set wireless.radio0.channel=6
run uci changes wireless
run uci set network.wwan=interface
run uci -P /var/state set network.wwan.ipaddr=10.0.0.2
run uci -P /var/state get network.wwan.ipaddr
run uci get network.wwan.ipaddr
run uci -P /var/state commit
run uci commit
cat /etc/config/wireless /tmp/state/network
run uci
EOF2
out=$(boxrun --config "$w/cfg" --out "$w/out" -- sh /box/out/session.sh)
assert_status 0 $? "session ran"
assert_eq "/sbin/uci
11
=0
1.1.1.1 'a b'
=0
wifi-iface
=0
=0
uci: Entry not found
=1
/sbin/uci: Entry not found
=1
uci: Parse error
=1
=0
wireless.radio0.channel='6'
=0
=0
=0
10.0.0.2
=0
uci: Entry not found
=1
=0
=0

config wifi-device 'radio0'
	option channel '6'

config wifi-iface
	option ssid 'BoxAP'

config wifi-iface
	option ssid 'Upstream'
	list dns '1.1.1.1'
	list dns 'a b'

network.wwan.ipaddr='10.0.0.2'" "$(sed -n '1,/^network.wwan.ipaddr/p' <<<"$out")" "session output"
assert_contains "$out" $'Usage: uci [<options>] <command> [<arguments>]' "usage text"
assert_eq "=255" "$(tail -n1 <<<"$out")" "usage status"

# Two writers, 300 set + commit each of their own options, and a reader
# that must always find a whole file.
cat >"$w/out/race.sh" <<'EOF2'
writer() {
    i=0
    while [ $i -lt 300 ]; do
        i=$((i + 1))
        uci set "race.$1.o$i=v$i" || echo "set $1 $i failed"
        uci commit race || echo "commit $1 $i failed"
    done
}
printf "config t 'a'\nconfig t 'b'\n" >/etc/config/race
writer a & a=$!
writer b & b=$!
reads=0
while kill -0 $a 2>/dev/null || kill -0 $b 2>/dev/null; do
    uci -q show race >/dev/null || echo "unreadable config"
    reads=$((reads + 1))
done
wait $a $b
echo "reads $reads"
uci show race | grep -c '^race\.[ab]\.o[0-9]*='
cat /tmp/.uci/race
EOF2
out=$(boxrun --out "$w/out" -- sh /box/out/race.sh 2>&1)
assert_status 0 $? "race ran"
assert_not_contains "$out" "failed" "every set and commit succeeded"
assert_not_contains "$out" "unreadable" "the config always parsed"
assert_eq 600 "$(tail -n1 <<<"$out")" "all 600 values committed"
assert_contains "$out" "reads " "the reader ran"
