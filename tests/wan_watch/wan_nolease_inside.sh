# No DHCP server upstream: the client is given up in the fifth pass after its
# start and eth0 goes back into br-lan; the same after a pull and a plug.
source "$BOX_SRC/tests/e2e/lib.sh"
source "$BOX_SRC/tests/wan_watch/wan_box.sh"

# between_adds: "uci commit" lines between each delete and the add after it.
between_adds() {
    awk '/^brctl delif/ { n = 0; on = 1 } /^uci commit$/ && on { n++ }
         /^brctl addif/ { print n; on = 0 }' "$JOURNAL" | tr '\n' ' '
}

wan_proto dhcp
fake_wlan1
start_wan_watch

check "eth0 back in br-lan" \
    wait_for 20 eval '[ "$(brctl_calls | grep -c addif)" = 1 ] && [ "$(bridge_of_eth0)" = br-lan ]'
assert_eq $'brctl delif br-lan eth0\nbrctl addif br-lan eth0' "$(brctl_calls)" "delete, then add"
assert_eq "5 " "$(between_adds)" "the add comes in the fifth pass after the start"
check "no client left on eth0" wait_for 10 eval '[ -z "$(clients eth0)" ]'
assert_eq "" "$(eth0_address)" "no address"
wait_passes 8
assert_eq 2 "$(brctl_calls | wc -l)" "settled: nothing more"

# Pulled while in the bridge: out of it, a client on eth0 waits for the cable.
box_cable out
check "eth0 leaves br-lan" wait_for 20 eval '[ -z "$(bridge_of_eth0)" ]'
check "a client on eth0" wait_for 20 one_client_on eth0
box_cable in
check "eth0 back in br-lan after the plug" \
    wait_for 20 eval '[ "$(brctl_calls | grep -c addif)" = 2 ] && [ "$(bridge_of_eth0)" = br-lan ]'
assert_eq "5 5 " "$(between_adds)" "again the fifth pass"
check "no client left on eth0 at the end" wait_for 10 eval '[ -z "$(clients eth0)" ]'
kill "$WAN_WATCH"
