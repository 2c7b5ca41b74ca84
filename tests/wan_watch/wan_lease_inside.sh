# A DHCP server upstream: the lease, protocol changes with the cable in, the
# cable pulled, and an unreadable protocol, one after the other.
source "$BOX_SRC/tests/e2e/lib.sh"
source "$BOX_SRC/tests/wan_watch/wan_box.sh"

wan_proto dhcp
fake_wlan1
old_wlan1=$(clients wlan1)
start_wan_watch

# Cable in at start: out of the bridge with a lease, then settled.
check "eth0 leaves br-lan and gets a lease" \
    wait_for 20 eval '[ -z "$(bridge_of_eth0)" ] && [ -n "$(eth0_address)" ]'
assert_contains "$(eth0_address)" "192.168.7." "the upstream server's address"
wait_for 30 eval '[ "$(passes)" -ge 12 ]'
assert_eq "brctl delif br-lan eth0" "$(brctl_calls)" "only the delete, no add after the check"
check "one client on eth0" one_client_on eth0
first=$(clients eth0)
assert_eq "$(cat /var/run/dhcp-eth0.pid)" "$first" "the client is the one started with the pid file"

# dhcp -> static, cable in: idle, nothing undone.
wan_proto static
wait_passes 8
assert_eq "brctl delif br-lan eth0" "$(brctl_calls)" "static: no bridge command"
assert_eq "$first" "$(clients eth0)" "static: the client is not stopped"
assert_eq "" "$(bridge_of_eth0)" "static: eth0 is not put back"

# static -> dhcp, cable in: nothing until the link changes.
wan_proto dhcp
wait_passes 8
assert_eq "brctl delif br-lan eth0" "$(brctl_calls)" "static to dhcp: no bridge command"
assert_eq "$first" "$(clients eth0)" "static to dhcp: the client is left alone"

# Cable pulled: delete again (eth0 is already out), both clients restarted.
box_cable out
check "eth0 client restarted" wait_for 20 one_client_on eth0 "$first"
check "wlan1 client restarted" wait_for 20 one_client_on wlan1 "$old_wlan1"
check "the old wlan1 client is gone" eval '! kill -0 '"$old_wlan1"' 2>/dev/null'
assert_eq $'brctl delif br-lan eth0\nbrctl delif br-lan eth0' "$(brctl_calls)" "a second delete"
check "the new client drops the old address" wait_for 10 eval '[ -z "$(eth0_address)" ]'
pulled=$(clients eth0)
wlan1=$(clients wlan1)
wait_passes 8
assert_eq 2 "$(brctl_calls | wc -l)" "cable out: nothing more"
assert_eq "$pulled $wlan1" "$(clients eth0) $(clients wlan1)" "cable out: the clients stay"

# The protocol becomes unreadable, the cable comes back: the last value
# read ("dhcp") still holds.
wan_proto ""
wait_passes 2
box_cable in
check "a new lease after plugging in" wait_for 20 eval '[ -n "$(eth0_address)" ]'
wait_passes 8
assert_eq $'brctl delif br-lan eth0\nbrctl delif br-lan eth0\nbrctl delif br-lan eth0' \
    "$(brctl_calls)" "plugged in: one more delete, no add"
check "one client on eth0 after plugging in" one_client_on eth0 "$pulled"
assert_eq "" "$(bridge_of_eth0)" "eth0 stays out of br-lan"
kill "$WAN_WATCH"
