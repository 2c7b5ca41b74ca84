# Debian's iwlist, an independent reader of wireless-extension events, run in
# the box with the wireless driver stand-in preloaded: it must see the cells
# of the scenario as they were written.
source "$BOX_SRC/tests/e2e/lib.sh"
box_workdir
standin="$BOX_BUILD/lib/libwlan_standin.so"
check "the wireless stand-in was built" test -f "$standin"
command -v iwlist >/dev/null || { fail "iwlist (wireless-tools) is not installed"; exit 1; }

mkdir -p "$BOX_WORK/out/wlan"
cat >"$BOX_WORK/out/wlan/scenario" <<'SCENARIO'
max-qual 70 200 0
# WPA2-PSK with CCMP
cell 00:11:22:AA:BB:CC
channel 6
freq 2437
qual 60 -47 0
encode on
essid Home
ie 30140100000fac040100000fac040100000fac020c00
# open
cell 00:11:22:33:44:55
freq 2412
qual 40 -71 0
encode off
essid Cafe Free
# hidden
cell 02:00:00:00:00:01
freq 2462
qual 20 -80 0
encode on
essid-hex - 0
# WPA and WPA2 with 802.1X, level in the driver's own scale
cell 02:00:00:00:00:02
freq 2472
qual 20 190 0 0x03
encode on
essid-hex 4d697865642041
ie dd1a0050f20101000050f20202000050f2020050f2040100 0050f201
ie 30180100000fac020200000fac02000fac040100000fac010000
SCENARIO

out=$(boxrun --out "$BOX_WORK/out" --env LD_PRELOAD="$standin" -- iwlist wlan1 scan 2>&1)
assert_status 0 $? "iwlist wlan1 scan"
# Blanks at the line ends and the indentation are iwlist's layout, not the events.
got=$(printf '%s\n' "$out" | sed -e 's/^ *//' -e 's/ *$//')

assert_eq 4 "$(grep -c '^Cell ' <<<"$got")" "four cells"
assert_eq "Cell 01 - Address: 00:11:22:AA:BB:CC
Cell 02 - Address: 00:11:22:33:44:55
Cell 03 - Address: 02:00:00:00:00:01
Cell 04 - Address: 02:00:00:00:00:02" "$(grep '^Cell ' <<<"$got")" "addresses"
assert_eq "Channel:6
Frequency:2.437 GHz (Channel 6)
Frequency:2.412 GHz (Channel 1)
Frequency:2.462 GHz (Channel 11)
Frequency:2.472 GHz (Channel 13)" "$(grep -E '^(Channel|Frequency)' <<<"$got")" "channels"
assert_eq "Quality=60/70  Signal level=-47 dBm
Quality=40/70  Signal level=-71 dBm
Quality=20/70  Signal level=-80 dBm
Quality=20/70  Signal level=190/200  Noise level:0/0" "$(grep '^Quality' <<<"$got")" "levels"
assert_eq "Encryption key:on
Encryption key:off
Encryption key:on
Encryption key:on" "$(grep '^Encryption' <<<"$got")" "encryption"
assert_eq 'ESSID:"Home"
ESSID:"Cafe Free"
ESSID:off/any/hidden
ESSID:"Mixed A"' "$(grep '^ESSID' <<<"$got")" "names"
assert_eq "IE: IEEE 802.11i/WPA2 Version 1
Group Cipher : CCMP
Pairwise Ciphers (1) : CCMP
Authentication Suites (1) : PSK
IE: WPA Version 1
Group Cipher : TKIP
Pairwise Ciphers (2) : TKIP CCMP
Authentication Suites (1) : 802.1x
IE: IEEE 802.11i/WPA2 Version 1
Group Cipher : TKIP
Pairwise Ciphers (2) : TKIP CCMP
Authentication Suites (1) : 802.1x" "$(sed -n '/^IE:/,/^Authentication/p' <<<"$got")" "elements"

journal=$(cat "$BOX_WORK/out/wlan/journal" 2>/dev/null)
assert_contains "$journal" "SIOCGIWRANGE size" "range read journalled"
assert_contains "$journal" "SIOCSIWSCAN ok" "trigger journalled"
assert_contains "$journal" "SIOCGIWSCAN size 4096 ok" "results read journalled"

# A driver that is not ready, then answers: iwlist waits and reads again.
printf 'eagain 2\n' >>"$BOX_WORK/out/wlan/scenario"
: >"$BOX_WORK/out/wlan/journal"
out=$(boxrun --out "$BOX_WORK/out" --env LD_PRELOAD="$standin" -- iwlist wlan1 scan 2>&1)
assert_status 0 $? "iwlist wlan1 scan after EAGAIN"
assert_eq 2 "$(grep -c 'SIOCGIWSCAN size 4096 EAGAIN' "$BOX_WORK/out/wlan/journal")" "two reads not ready"
assert_contains "$out" 'ESSID:"Home"' "cells after the wait"

# The scan core on the same cells, through the same preloaded driver.
if [ -x "$BOX_BIN/scan_dump" ]; then
    sed -i '/^eagain/d' "$BOX_WORK/out/wlan/scenario"
    list=$(boxrun --out "$BOX_WORK/out" --env LD_PRELOAD="$standin" -- scan_dump 2>&1)
    assert_status 0 $? "scan_dump"
    assert_eq '<APList><AP name="Home" mac="001122AABBCC" channel="6" rssi="-47" encrypt="WPA2-PSK" tkip_aes="aes" ></AP><AP name="Cafe Free" mac="001122334455" channel="1" rssi="-71" encrypt="NONE" tkip_aes="" ></AP><AP name="Mixed A" mac="020000000002" channel="13" rssi="-80" encrypt="WPA/WPA2-1X" tkip_aes="tkip/aes" ></AP></APList>' \
        "$list" "the scan core's list of the same cells"
else
    fail "scan_dump was not built"
fi
