# Inside a box (by pid_wrap_e2e.sh): wifi_survey reconnects to its network
# while an old DHCP client on wlan1 has a high process number and the numbers
# of its own shells start low again.
source "$BOX_SRC/tests/e2e/lib.sh"

mkdir -p /box/out/wlan /tmp/run
cat >/etc/config/wireless <<'CFG'
config wifi-device 'radio0'
	option channel '1'
	option htmode 'HT40+'

config wifi-iface
	option mode 'ap'
	option ssid 'MusicBox'

config wifi-iface
	option mode 'sta'
	option ssid 'Home'
	option encryption 'psk2+ccmp'
CFG
printf 'interface=wlan0\nchannel=1\nht_capab=[HT40+]\n' >/tmp/run/hostapd-phy0.conf
printf 'cell 00:11:22:33:44:03\nfreq 2437\nqual 60 -50 0\nencode on\nessid Home\nie 30140100000FAC040100000FAC040100000FAC020000\n' \
    >/box/out/wlan/scenario

clients() { ps | grep '[u]dhcpc' | grep -- "-i wlan1 " | awk '{ print $1 }'; }
echo 20000 >/proc/sys/kernel/ns_last_pid || { fail "cannot set ns_last_pid"; exit 1; }
box_fake_daemon udhcpc -t 0 -i wlan1 -b -p /var/run/dhcp-wlan1.pid -O rootpath -R
old=$(clients)
check "the old client has a high number" test "$old" -gt 20000
echo 300 >/proc/sys/kernel/ns_last_pid

LD_PRELOAD="$BOX_BUILD/lib/libtimewarp.so $BOX_BUILD/lib/libwlan_standin.so" TIMEWARP=100 \
    wifi_survey >/tmp/survey.log 2>&1 &
daemon=$!
check "the reconnect starts a DHCP client" wait_for 30 grep -q '^udhcpc -t 0 -i wlan1' /box/out/journal
sleep 0.2
check "the old wlan1 client is gone" eval '! kill -0 '"$old"' 2>/dev/null'
assert_eq 1 "$(clients | grep -c .)" "one client on wlan1"
kill "$daemon"
