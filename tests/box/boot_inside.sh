# Inside a booted box (by boot_e2e.sh).
source "$BOX_SRC/tests/e2e/lib.sh"
export LD_PRELOAD=  # the test's own waits are real ones
pkg=$BOX_SRC/openwrt/music-box
LOG=/var/log/procd.log
daemons="wan_watch wifi_survey dorvu renderer_ctl wifi_watch"

for d in $daemons; do
    check "$d: the package's init script" cmp -s "$pkg/files/$d.init" /etc/init.d/$d
    check "$d: enabled" /etc/init.d/$d enabled
done
for p in /usr/sbin/dorvu /usr/bin/udisk_scan /usr/sbin/wifi_survey /usr/sbin/wan_watch \
         /usr/sbin/renderer_ctl /usr/sbin/wifi_watch /usr/bin/nor /usr/mips/cgi-bin/fw_upgrade; do
    check "$p installed" test -x $p
done
assert_eq "wan_watch wifi_survey dorvu renderer_ctl wifi_watch" \
    "$(grep -o '^[0-9.]* [a-z_]*::instance1 started' $LOG | awk '{ sub("::.*", "", $2); print $2 }' | head -n 5 | tr '\n' ' ' | sed 's/ $//')" \
    "started in the order of their START"
for d in wan_watch wifi_survey dorvu wifi_watch; do
    assert_eq "/usr/sbin/$d" "$(ps | awk -v p="/usr/sbin/$d" '$3 == p { print $3, $4 }' | sed 's/ $//')" \
        "$d shows its own command line"
done

# killall (as the upload CGI does it) does not end a respawned daemon.
pid=$(pidof dorvu)
killall -9 dorvu
check "dorvu is back after killall" wait_for 5 eval '[ -n "$(pidof dorvu)" ] && [ "$(pidof dorvu)" != "'"$pid"'" ]'

# renderer_ctl ends by itself while the box has no address (no network
# configuration here): it must be respawned for ever, not given up on.
check "renderer_ctl ends and is respawned eight times" \
    wait_for 40 eval '[ "$(grep -c "renderer_ctl::instance1 started" $LOG)" -ge 9 ]'
check "renderer_ctl ended by itself" grep -q 'renderer_ctl::instance1 pid [0-9]* ended (status 0)' $LOG
check "renderer_ctl never left in a crash loop" eval '! grep -q "renderer_ctl::.*crash loop" $LOG'

# stop ends a daemon for good.
/etc/init.d/dorvu stop
check "dorvu gone soon after stop" wait_for 5 eval '[ -z "$(pidof dorvu)" ]'
sleep 0.5  # 10 s of box time
assert_eq "" "$(pidof dorvu)" "dorvu not respawned after stop"
check "dorvu ended on SIGTERM after its stop" grep -q 'dorvu::instance1 pid [0-9]* ended (status [0-9]*) after its stop' $LOG
check "dorvu needed no SIGKILL" eval '! grep -q "dorvu::.*SIGKILL" $LOG' 
