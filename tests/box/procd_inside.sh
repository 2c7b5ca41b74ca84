# Runs inside a plain box (by procd_e2e.sh): the procd stand-in with test
# daemons, its clock sped up 20-fold with the time stand-in (every length
# below is in the box's time).
source "$BOX_SRC/tests/e2e/lib.sh"

cp "$BOX_SRC/host/box/rc.common" /etc/rc.common
/box/lib/box_boot || { fail "the supervisor does not start"; exit 1; }
LOG=/var/log/procd.log

# testd MODE: the daemon of the tests. quick: ends at once with status 3;
# run3: ends after 3 s; stubborn: ignores SIGTERM; calm: runs until ended.
cat >/usr/bin/testd <<'D'
#!/bin/sh
echo "testd $1 $$" >>/tmp/testd.starts
echo "hello from $1"
echo "oops from $1" >&2
case "$1" in
    quick) exit 3 ;;
    run3) sleep 3; exit 0 ;;
    stubborn) trap '' TERM; while :; do sleep 1; done ;;
    calm) while :; do sleep 1; done ;;
esac
D
chmod +x /usr/bin/testd

# initscript NAME MODE [respawn values|none] [extra procd lines]
initscript() {
    local respawn="procd_set_param respawn ${3:-}"
    [ "${3:-}" = none ] && respawn=":"
    cat >/etc/init.d/$1 <<S
#!/bin/sh /etc/rc.common
START=50
STOP=50
USE_PROCD=1
start_service() {
	procd_open_instance
	procd_set_param command /usr/bin/testd $2
	$respawn
	${4:-:}
	procd_close_instance
}
S
    chmod +x /etc/init.d/$1
}
starts() { cat /tmp/testd.starts 2>/dev/null | grep -c "^testd $1 "; }
# The daemon's own processes: BusyBox sh runs "sleep" in a forked child that
# keeps the script's command line, so such a child of one is left out.
pids_of() {
    local all p pp
    all=" $(ps | awk -v m="$1" '$0 ~ "/usr/bin/testd " m "$" { print $1 }' | tr '\n' ' ') "
    for p in $all; do
        pp=$(awk '{ print $4 }' /proc/$p/stat 2>/dev/null) || continue
        case "$all" in *" $pp "*) ;; *) echo "$p" ;; esac
    done
}
stamp() { # first log line matching ERE -> its box time
    grep -E "$1" $LOG | head -n ${2:-1} | tail -n 1 | awk '{ print $1 }'
}
# about A B TOL: |A - B| <= TOL
about() { awk -v a="$1" -v b="$2" -v t="$3" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(d <= t) }'; }

# Respawn after TIMEOUT whatever the end: a status, then a signal.
initscript quick quick "3600 5 0"
/etc/init.d/quick start
check "quick: respawned" wait_for 20 eval '[ "$(starts quick)" -ge 2 ]'
end1=$(stamp 'quick::.* ended \(status 3\)')
start2=$(stamp 'quick::instance1 started' 2)
check "quick: back 5 s after its end ($end1 -> $start2)" about "$(awk -v a="$start2" -v b="$end1" 'BEGIN{print a-b}')" 5 1.5
/etc/init.d/quick stop

initscript calm calm "3600 5 5"
/etc/init.d/calm start
pid=$(pids_of calm)
assert_eq 1 "$(printf '%s\n' "$pid" | grep -c .)" "calm: one process, shown as its own command line"
kill -9 "$pid"
check "calm: back after SIGKILL" wait_for 20 eval '[ -n "$(pids_of calm)" ] && [ "$(pids_of calm)" != '"$pid"' ]'
check "calm: the end by signal is logged" grep -q "calm::instance1 pid $pid ended (signal 9)" $LOG

# start of a running service keeps it; restart replaces it; running/enabled.
pid=$(pids_of calm)
/etc/init.d/calm start
now=$(pids_of calm)
assert_eq "$pid" "$now" "start of a running service leaves it"
[ "$pid" == "$now" ] || { grep calm $LOG; ps; } >&2
check "running says yes" /etc/init.d/calm running
/etc/init.d/calm restart
new=$(pids_of calm)
check "restart: another process" test -n "$new" -a "$new" != "$pid"
check "not enabled before enable" eval '! /etc/init.d/calm enabled'
/etc/init.d/calm enable
check "enable makes S50calm" test -L /etc/rc.d/S50calm -a -L /etc/rc.d/K50calm
check "enabled after enable" /etc/init.d/calm enabled
rm /etc/rc.d/K50calm
check "not enabled without its K link" eval '! /etc/init.d/calm enabled'
help=$(/etc/init.d/calm frobnicate)
assert_status 0 $? "an unknown verb returns 0"
check "an unknown verb prints the help" eval 'printf "%s\n" "$help" | grep -q "^Syntax: /etc/init.d/calm \[command\]"'
/etc/init.d/calm disable
check "disable removes the links" test ! -e /etc/rc.d/S50calm -a ! -e /etc/rc.d/K50calm

# stop: SIGTERM, no respawn; it does not wait for the end.
/etc/init.d/calm stop
check "stop: gone soon after" wait_for 5 eval '[ -z "$(pids_of calm)" ]'
check "running says no after stop" eval '! /etc/init.d/calm running'
sleep 0.6  # 12 s of box time: more than the respawn timeout
assert_eq "" "$(pids_of calm)" "stop: not respawned"

# A daemon that ignores SIGTERM: stop returns at once, SIGKILL after the 5 s
# term timeout. restart does not wait either: the new process starts once
# the old one has ended.
initscript stubborn stubborn "3600 5 5"
/etc/init.d/stubborn start
check "stubborn runs" wait_for 5 eval '[ -n "$(pids_of stubborn)" ]'
sleep 0.1
old=$(pids_of stubborn)
/etc/init.d/stubborn stop
assert_eq "$old" "$(pids_of stubborn)" "stubborn: still there when stop returns"
check "running is true while it ends" /etc/init.d/stubborn running
check "stubborn: gone after the term timeout" wait_for 5 eval '[ -z "$(pids_of stubborn)" ]'
t_term=$(stamp 'stubborn::.*stopping')
t_kill=$(stamp 'stubborn::.*SIGKILL')
check "stubborn: SIGKILL 5 s after SIGTERM ($t_term -> $t_kill)" \
    about "$(awk -v a="$t_kill" -v b="$t_term" 'BEGIN{print a-b}')" 5 1.5
check "the SIGKILL is in the system log" eval 'logread | grep -q "procd: Instance stubborn::instance1 pid $old not stopped on SIGTERM, sending SIGKILL instead"'
sleep 0.6
assert_eq "" "$(pids_of stubborn)" "stubborn: not respawned"
/etc/init.d/stubborn start
check "stubborn runs again" wait_for 5 eval '[ -n "$(pids_of stubborn)" ]'
sleep 0.1
old=$(pids_of stubborn)
/etc/init.d/stubborn restart
assert_eq "$old" "$(pids_of stubborn)" "restart returns while the old process ends"
check "restart: the new process once the old is killed" \
    wait_for 5 eval 'new=$(pids_of stubborn); [ -n "$new" ] && [ "$new" != "$old" ]'
t_kill=$(stamp 'stubborn::.*SIGKILL' 2)
t_new=$(stamp 'stubborn::instance1 started' 3)
check "restart: started after the SIGKILL ($t_kill -> $t_new)" \
    awk -v k="$t_kill" -v n="$t_new" 'BEGIN { exit !(n >= k) }'
/etc/init.d/stubborn stop

# Crash count against THRESHOLD, give up past RETRY.
initscript loop quick "3600 1 2"
sed -i 's/testd quick/testd quick loop/' /etc/init.d/loop
/etc/init.d/loop start
check "crash loop logged" wait_for 20 grep -q 'loop::instance1 .*crash loop, 3 crashes' $LOG
sleep 0.5
assert_eq 3 "$(grep -c 'loop::instance1 started' $LOG)" "RETRY 2: the first start and two respawns"
check "running says no in a crash loop" eval '! /etc/init.d/loop running'
/etc/init.d/loop stop

# Runs longer than THRESHOLD reset the count: RETRY 1 never gives up.
initscript long run3 "2 1 1"
/etc/init.d/long start
check "long runs are respawned again and again" wait_for 30 eval '[ "$(starts run3)" -ge 4 ]'
check "no crash loop for long runs" eval '! grep -q "long::.*crash loop" $LOG'
/etc/init.d/long stop

# RETRY 0: for ever.
initscript ever quick "3600 1 0"
sed -i 's/testd quick/testd quick ever/' /etc/init.d/ever
/etc/init.d/ever start
check "RETRY 0: still respawned after 8 quick ends" wait_for 30 eval '[ "$(grep -c "ever::instance1 started" $LOG)" -ge 9 ]'
check "RETRY 0: never a crash loop" eval '! grep -q "ever::.*crash loop" $LOG'
/etc/init.d/ever stop

# No respawn: ended is ended. Output only with stdout 1.
initscript once quick none "procd_set_param stdout 1"
sed -i 's/testd quick/testd quick once/' /etc/init.d/once
logread -f -e 'testd\[' >/tmp/follow.out &
follower=$!
sleep 0.2
/etc/init.d/once start
check "no respawn: the end is logged" wait_for 10 grep -q 'once::instance1 .*no respawn' $LOG
sleep 0.5
assert_eq 1 "$(grep -c 'once::instance1 started' $LOG)" "no respawn: started once"
once_pid=$(grep -o 'once::instance1 started pid [0-9]*' $LOG | awk '{ print $4 }')
check "stdout 1: the daemon's output in the system log" \
    eval 'logread -e "testd\\[$once_pid\\]" | grep -q " daemon.info testd\[$once_pid\]: hello from quick$"'
check "logread -f: the lines as they come" grep -q "testd\[$once_pid\]: hello from quick$" /tmp/follow.out
kill $follower
check "without stderr 1 its errors are dropped" eval '! logread | grep -q "oops from quick"'
check "without stdout 1 nothing is kept" eval '! logread | grep -q "hello from calm"'
check "a crash loop is in the system log" eval 'logread -e "crash loop" | grep -q "procd: Instance loop::instance1 s in a crash loop 3 crashes"'
assert_eq 1 "$(logread -l 1 | wc -l)" "logread -l 1: one line"
