# Runs inside the box: wifi_survey against the wireless stand-in, one pass at
# a time. The status script's stand-in holds each pass at its start until
# the test has set the pass's scene (air, link flag) and lets it go.
source "$BOX_SRC/tests/e2e/lib.sh"

step=/box/out/step
mkdir -p "$step" /box/out/wlan /box/out/fake /tmp/run
cat >/box/out/fake/ClientStatus.sh.run <<'SCRIPT'
export LD_PRELOAD=
n=$(grep -c 'ClientStatus.sh$' /box/out/journal)
while [ ! -e /box/out/step/go-$n ]; do sleep 0.02; done
[ -f /box/out/step/air-$n ] && cp /box/out/step/air-$n /box/out/wlan/scenario
[ -e /box/out/step/up-$n ] && : >/tmp/client_is_connected
echo "#pass $n"
SCRIPT

cat >/etc/config/wireless <<'CFG'
config wifi-device 'radio0'
	option type 'mac80211'
	option channel '1'
	option htmode 'HT40+'

config wifi-iface
	option device 'radio0'
	option mode 'ap'
	option ssid 'MusicBox'
	option encryption 'none'

config wifi-iface
	option device 'radio0'
	option mode 'sta'
	option network 'wwan'
	option ssid 'Home'
	option encryption 'psk2+ccmp'
	option key 'secret-pass-phrase'
CFG
printf 'interface=wlan0\nchannel=1\nhw_mode=g\nht_capab=[HT40+][SHORT-GI-20]\n' >/tmp/run/hostapd-phy0.conf
box_fake_daemon hostapd -P /var/run/wifi-phy0.pid -B /var/run/hostapd-phy0.conf
box_fake_daemon udhcpc -t 0 -i wlan1 -b -p /var/run/dhcp-wlan1.pid -O rootpath -R
box_fake_daemon udhcpc -t 0 -i eth0 -b -p /var/run/dhcp-eth0.pid -O rootpath -R

RSN_CCMP="ie 30140100000FAC040100000FAC040100000FAC020000"
RSN_BOTH="ie 30180100000FAC020200000FAC02000FAC040100000FAC020000"
WPA_TKIP="ie DD160050F20101000050F20201000050F20201000050F202"
cell() { # mac mhz "essid line" encode [ie lines...]
    printf 'cell %s\nfreq %s\nqual 60 -50 0\nencode %s\n%s\n' "$1" "$2" "$4" "$3"
    shift 4
    local l
    for l in "$@"; do printf '%s\n' "$l"; done
}
home() { cell 00:11:22:33:44:$1 "$2" "essid Home" on "$RSN_CCMP"; }

pid_of() { pidof "$1" | tr ' ' '\n' | head -n1; }
runs() { pidof "$1" >/dev/null; }
log() { cat /tmp/survey.log; }
pass_text() { awk -v n="$1" '/^#pass /{p = ($2 == n); next} p' /tmp/survey.log; }
count_in_pass() { pass_text "$1" | grep -c -F -- "$2"; }
status_calls() { cat /box/out/journal 2>/dev/null | grep -c 'ClientStatus.sh$'; }
uci_get() { uci get "$1" 2>/dev/null; }

passes_begun_over() { [ "$(status_calls)" -gt "$1" ]; }

# run_pass N: lets pass N go and waits until pass N + 1 is held at its start.
run_pass() {
    : >"$step/go-$1"
    check "pass $1 ends" wait_for 60 passes_begun_over "$1"
}

# Only the daemon runs sped up and sees the wireless stand-in.
LD_PRELOAD="$BOX_BUILD/lib/libtimewarp.so $BOX_BUILD/lib/libwlan_standin.so" TIMEWARP=100 \
    wifi_survey >/tmp/survey.log 2>&1 &
daemon=$!

# 1: the link is up: only the marker line, the flag file removed.
: >"$step/up-1"
run_pass 1
assert_eq "xxxxxxxxxxxxxxxxxxxxxxxxxx" "$(pass_text 1)" "link up: only the marker"
check "flag file removed" test ! -e /tmp/client_is_connected

# 2: the network appears on channel 6 beside a hidden one and another name.
old_ap=$(pid_of hostapd)
old_dhcp=$(ps | grep udhcpc | grep wlan1 | grep -v grep | awk '{print $1}')
{ cell 00:11:22:33:44:01 2412 "essid Other" on "$RSN_CCMP"
  cell 00:11:22:33:44:02 2422 "essid-hex 486f6d65 0" on "$RSN_CCMP"
  home 03 2437; } >"$step/air-2"
run_pass 2
assert_eq "6" "$(uci_get wireless.radio0.channel)" "channel 6 committed"
assert_eq "HT40+" "$(uci_get wireless.radio0.htmode)" "HT40+ for channel 6"
check "channel 6 in the config file" grep -q "option channel '6'" /etc/config/wireless
check "channel 6 in the runtime file" grep -qx "channel=6" /tmp/run/hostapd-phy0.conf
check "HT40+ in the runtime file" grep -q "HT40+" /var/run/hostapd-phy0.conf
new_ap=$(pid_of hostapd)
check "hostapd restarted" test -n "$new_ap" -a "$new_ap" != "$old_ap"
assert_contains "$(tr '\0' ' ' <"/proc/$new_ap/cmdline")" "-B /var/run/hostapd-phy0.conf" "hostapd on the runtime file"
check "the old DHCP client on wlan1 is gone" test ! -e "/proc/$old_dhcp"
check "a new DHCP client runs on wlan1" wait_for 5 sh -c 'ps | grep udhcpc | grep -v grep | grep -q wlan1'
check "the eth0 DHCP client was left alone" sh -c 'ps | grep udhcpc | grep -v grep | grep -q eth0'
check "wpa_supplicant started" wait_for 5 runs wpa_supplicant
assert_contains "$(pass_text 2)" "wifi_ssid_cur=Home wifi_encryption_cur=psk2+ccmp wifi_passwd_cur= channel_cur=6 " "reconnect line"

# 3: it moved to channel 11; a WPA-only entry of the same name comes first.
{ cell 00:11:22:33:44:04 2422 "essid Home" on "$WPA_TKIP"
  home 05 2462; } >"$step/air-3"
run_pass 3
assert_eq "11 HT40-" "$(uci_get wireless.radio0.channel) $(uci_get wireless.radio0.htmode)" "channel 11, HT40-"
check "channel 11 and HT40- in the runtime file" sh -c 'grep -qx channel=11 /tmp/run/hostapd-phy0.conf && grep -q "HT40-" /tmp/run/hostapd-phy0.conf && ! grep -q "HT40+" /tmp/run/hostapd-phy0.conf'
assert_eq "1" "$(ps | grep udhcpc | grep wlan1 | grep -vc grep)" "one DHCP client on wlan1"

# 4: same name, other security, or a channel outside the driver's list
# (2484 MHz, 5 GHz: listed as -2): no match, the client daemon is stopped.
{ home 13 2484
  home 14 5180
  cell 00:11:22:33:44:06 2437 "essid Home" on "$WPA_TKIP" "$RSN_BOTH"; } >"$step/air-4"
run_pass 4
check "wpa_supplicant stopped" wait_for 5 sh -c '! pidof wpa_supplicant >/dev/null'
assert_eq "3" "$(count_in_pass 4 'ssidkkp=Home')" "every entry of the name looked at"
assert_eq "11" "$(uci_get wireless.radio0.channel)" "channel untouched without a match"
check "channel 11 still in the runtime file" grep -qx "channel=11" /tmp/run/hostapd-phy0.conf
assert_eq "0" "$(count_in_pass 4 wifi_ssid_cur)" "no reconnect"

# 5: "Disabled" with wpa_supplicant running: stopped, no scan.
box_fake_daemon wpa_supplicant -B -i wlan1 -c /var/run/wpa_supplicant-wlan1.conf
uci set wireless.@wifi-iface[1].ssid=Disabled && uci commit wireless
home 07 2437 >"$step/air-5"
run_pass 5
check "Disabled stops wpa_supplicant" wait_for 5 sh -c '! pidof wpa_supplicant >/dev/null'
assert_eq "0" "$(count_in_pass 5 'cgi_scan start')" "Disabled: no scan"
uci set wireless.@wifi-iface[1].ssid=Home && uci commit wireless

# 6: a neighbour whose name carries attribute text comes first.
{ cell 00:11:22:33:44:08 2472 'essid Home" channel="13" encrypt="NONE' off
  home 09 2447; } >"$step/air-6"
run_pass 6
assert_eq "8 HT40-" "$(uci_get wireless.radio0.channel) $(uci_get wireless.radio0.htmode)" "the spoofing name moves nothing"
check "channel 8 in the runtime file" grep -qx "channel=8" /tmp/run/hostapd-phy0.conf

# 7: the driver fails every read: ten scans, nothing else, the counter stays.
printf 'read-error EIO\n' >"$step/air-7"
run_pass 7
assert_eq "10" "$(count_in_pass 7 'cgi_scan start')" "ten scans"
assert_eq "0" "$(count_in_pass 7 wifi_ssid_cur)" "no reconnect after empty scans"

# 8 and 9: two more attempts in a row make three; then the daemon gives up.
home 10 2442 >"$step/air-8"
run_pass 8
assert_eq "7 HT40+" "$(uci_get wireless.radio0.channel) $(uci_get wireless.radio0.htmode)" "channel 7, HT40+"
home 11 2412 >"$step/air-9"
run_pass 9
assert_eq "1" "$(uci_get wireless.radio0.channel)" "third attempt: channel 1"
home 12 2452 >"$step/air-10"
run_pass 10
assert_eq "0" "$(count_in_pass 10 'cgi_scan start')" "given up: no scan"
assert_eq "1" "$(uci_get wireless.radio0.channel)" "given up: nothing changes"

kill "$daemon"
assert_not_contains "$(log)" "secret-pass-phrase" "the key never shows"
assert_eq "5" "$(grep -c 'wifi_ssid_cur=' /tmp/survey.log)" "five reconnects in all"
