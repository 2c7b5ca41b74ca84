#!/usr/bin/env bash
# wifi_watch in the box, a minute in a fraction of a second: the journal
# holds the stand-ins' calls ("wifi up", "cfg get mac", "sync", "reboot -f")
# and, from the time stand-in, each finished pause of the watchdog.
source "$(dirname "$0")/../e2e/lib.sh"
box_need wifi_watch
warp=$BOX_BUILD/lib/libtimewarp.so
check "the time stand-in was built" test -f "$warp"

HOSTAPD="hostapd -P /var/run/wifi-phy0.pid -B /var/run/hostapd-phy0.conf"
MAC=00:11:22:33:44:55

# run_watch OUT LOG_BYTES UNTIL [boxrun options...]: starts wifi_watch with a
# log of LOG_BYTES bytes ("none": no log, "fifo": a FIFO, "link": a symbolic
# link to /tmp/other, which holds one line), stops it once the journal has
# UNTIL lines of pauses of a minute, and leaves the log in OUT/log (when it
# is a plain file), its type in OUT/logtype, /tmp/other in OUT/other and the
# process list in OUT/ps.
run_watch() {
    local out=$1 bytes=$2 until=$3
    shift 3
    mkdir -p "$out/fake"
    box_fake_run "$out" rm 'exec busybox rm "$@"'
    cat >"$out/scenario.sh" <<SCRIPT
log=/usr/mips/www/korvanta.log
case "$bytes" in
none) ;;
fifo) mkfifo \$log ;;
link) echo other >/tmp/other && ln -s /tmp/other \$log ;;
*) head -c $bytes /dev/zero | tr '\\0' x >\$log ;;
esac
TIMEWARP=300 TIMEWARP_JOURNAL=/box/out/journal LD_PRELOAD=$warp wifi_watch &
for _ in \$(seq 1200); do
    [ "\$(grep -c '^timewarp: slept 60\$' /box/out/journal 2>/dev/null)" -ge $until ] && break
    sleep 0.1
done
kill \$!
stat -c %F \$log >/box/out/logtype 2>/dev/null
# Reading a FIFO would block, and a link's target is checked on its own.
[ -f \$log ] && [ ! -L \$log ] && cp \$log /box/out/log
cp /tmp/other /box/out/other 2>/dev/null
ps -w >/box/out/ps
SCRIPT
    boxrun --out "$out" --fake sync --fake rm "$@" -- sh /box/out/scenario.sh
}

# The lines a pass with hostapd present leaves: the pause and nothing else.
pauses() { local i; for ((i = 0; i < $1; i++)); do echo "timewarp: slept 60"; done; }

# --- hostapd there all along; no log yet ----------------------------------
box_workdir
out=$BOX_WORK/running
run_watch "$out" none 4 --daemon "$HOSTAPD"
assert_eq "timewarp: slept 60
cfg get mac
$(pauses 3)" "$(head -n 5 "$out/journal")" "first minute, MAC line, then only pauses"
assert_file_text "$out/log" "$MAC
" "a missing log starts with the MAC line alone"

# --- log sizes at the limit and one byte over -----------------------------
out=$BOX_WORK/limit
run_watch "$out" 65530 2 --daemon "$HOSTAPD"
assert_eq "$(pauses 2)" "$(head -n 2 "$out/journal")" "a log of 65530 bytes is left alone"
assert_eq "65530" "$(stat -c %s "$out/log")" "size of the kept log"

out=$BOX_WORK/over
run_watch "$out" 65531 2 --daemon "$HOSTAPD"
assert_eq "timewarp: slept 60
rm -f /usr/mips/www/korvanta.log
cfg get mac
sync
timewarp: slept 60" "$(head -n 5 "$out/journal")" "a log of 65531 bytes is started anew"
assert_file_text "$out/log" "$MAC
" "the new log holds the MAC line alone"

# --- a FIFO or a symbolic link at the log path -----------------------------
# The shell's append would block on the FIFO for ever, or write into the
# link's target: either is removed and the log started as a plain file.
for kind in fifo link; do
    out=$BOX_WORK/$kind
    run_watch "$out" $kind 2 --daemon "$HOSTAPD"
    assert_eq "timewarp: slept 60
rm -f /usr/mips/www/korvanta.log
cfg get mac
timewarp: slept 60" "$(head -n 4 "$out/journal")" "$kind at the log path: removed, log started"
    assert_eq "regular file" "$(cat "$out/logtype" 2>/dev/null)" "$kind replaced by a plain file"
    assert_file_text "$out/log" "$MAC
" "$kind: the new log holds the MAC line alone"
done
assert_file_text "$BOX_WORK/link/other" "other
" "the link's target is left alone"

# --- an outage that ends at the first re-check ----------------------------
out=$BOX_WORK/short
mkdir -p "$out/fake" && echo 1 >"$out/fake/wifi.up_after"
run_watch "$out" none 3
assert_eq "timewarp: slept 60
cfg get mac
wifi up
timewarp: slept 10
sync
sync
$(pauses 2)" "$(head -n 8 "$out/journal")" "untouched for a minute, one wifi up, then up"
date_re='[A-Z][a-z][a-z] [A-Z][a-z][a-z] [ 0-9]*[0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9] [A-Z]* [0-9]\{4\}'
assert_eq "$MAC
down
up" "$(sed "s/^$date_re wifi: //" "$out/log")" "the log: MAC, one dated down, one dated up"
assert_contains "$(cat "$out/ps")" "$HOSTAPD" "hostapd is back in the process list"

# --- an outage that lasts: six attempts 10 s apart, then the reboot -------
out=$BOX_WORK/long
run_watch "$out" none 2
attempts=$(for i in 1 2 3 4 5 6; do printf 'wifi up\ntimewarp: slept 10\n'; done)
assert_eq "timewarp: slept 60
cfg get mac
$attempts
sync
reboot -f
sync
sync
timewarp: slept 60" "$(awk '{ print } /^reboot -f$/ { r = 1 } r && /^timewarp: slept 60$/ { exit }' "$out/journal")" \
    "six wifi up 10 s apart, sync, reboot -f, two syncs when it returns"
assert_eq "$MAC
down
down
down
down
down
down
reboot" "$(sed "s/^$date_re wifi: //" "$out/log" | head -n 8)" "the log: six down, reboot, no up"
# The watchdog's own "ps | grep hostapd" query may still be in the list.
assert_not_contains "$(cat "$out/ps")" "$HOSTAPD" "hostapd stayed away"
