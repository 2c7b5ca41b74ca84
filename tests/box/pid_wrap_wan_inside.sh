# Inside a box with a cable (by pid_wrap_e2e.sh): wan_watch finds an old DHCP
# client on eth0 and one on wlan1, both with high process numbers, while the
# numbers it gets for its own shells start low again.
source "$BOX_SRC/tests/e2e/lib.sh"
source "$BOX_SRC/tests/wan_watch/wan_box.sh"

wan_proto dhcp
echo 20000 >/proc/sys/kernel/ns_last_pid || { fail "cannot set ns_last_pid"; exit 1; }
fake_wlan1
box_fake_daemon udhcpc -t 0 -i eth0 -b -p /var/run/dhcp-eth0.pid -O rootpath -R
old_eth0=$(clients eth0)
old_wlan1=$(clients wlan1)
check "the old clients have high numbers" test "$old_eth0" -gt 20000 -a "$old_wlan1" -gt 20000
echo 300 >/proc/sys/kernel/ns_last_pid
start_wan_watch

# Cable in at start: the eth0 kill, then a new client.
check "a new client on eth0" wait_for 20 one_client_on eth0 "$old_eth0"
check "the old eth0 client is gone" eval '! kill -0 '"$old_eth0"' 2>/dev/null'
assert_eq 1 "$(clients eth0 | grep -c .)" "one client on eth0"

# Cable out: the wlan1 kill too.
box_cable out
check "a new client on wlan1" wait_for 20 one_client_on wlan1 "$old_wlan1"
check "the old wlan1 client is gone" eval '! kill -0 '"$old_wlan1"' 2>/dev/null'
wait_passes 4
assert_eq 1 "$(clients wlan1 | grep -c .)" "one client on wlan1"
assert_eq 1 "$(clients eth0 | grep -c .)" "one client on eth0 after the cable went"
kill "$WAN_WATCH"
