# Inside the booted box (by web_e2e.sh): the disk scanned and played, then the
# box waits while the browser drives it; afterwards, what the uploads left.
source "$BOX_SRC/tests/e2e/lib.sh"
export LD_PRELOAD=
udisk_scan
check "udisk_scan lists the three songs" eval '[ "$(grep -o "\"url\"" /tmp/mnt/sda1/.udisklist | wc -l)" = 3 ]'
/etc/init.d/dorvu restart
check "dorvu plays" wait_for 20 eval 'grep -q "<playstate>PLAYING<" /etc/config/playusb.xml'
: >/box/out/ready
wait_for 200 test -f /box/out/browser_done
assert_eq "Cafe 21 psk+ccmp static" \
    "$(uci get 'wireless.@wifi-iface[1].ssid') $(uci get 'wireless.@wifi-iface[1].encryption') $(uci get network.wan.proto)" \
    "the page's Wi-Fi and WAN settings are in UCI"
check "the uploaded image is staged" cmp -s /tmp/fwupgrade /box/out/good.bin
check "no daemon runs once the image is staged" eval '! pidof dorvu wan_watch wifi_survey >/dev/null'
