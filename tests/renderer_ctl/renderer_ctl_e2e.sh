#!/usr/bin/env bash
# renderer_ctl in the box, a pass of 5 s in a tenth of a second. Evidence:
# the journal (the stand-ins' "gorlin" and "quorin", and from the time
# stand-in each finished pause), the process list, the exit status.
source "$(dirname "$0")/../e2e/lib.sh"
box_need renderer_ctl
warp=$BOX_BUILD/lib/libtimewarp.so
check "the time stand-in was built" test -f "$warp"
box_workdir

at() { echo "velmar -f friendly-name MusicBox ip-address $1 -p 49152"; }  # the renderer serving $1
SECOND="velmar -w friendly-name MusicBox"  # a second process carrying the name
AIRPLAY="pravik -n MusicBox"
DEFAULT=192.168.222.254

# network_config DIR [LAN_ADDRESS]: /etc/config/network, the LAN address
# left out when none is given.
network_config() {
    mkdir -p "$1"
    {
        printf "config interface 'lan'\n\toption proto 'static'\n"
        [ -n "${2:-}" ] && printf "\toption ipaddr '%s'\n" "$2"
        printf "\nconfig interface 'wwan'\n\toption proto 'dhcp'\n"
    } >"$1/network"
}

# run_ctl CASE PASSES WWAN_ADDRESS|"" [boxrun options...]: runs renderer_ctl,
# with the WWAN address in the runtime state as the box's network scripts
# set it, until PASSES passes are done (the pause of one more has passed) or
# it ends by itself. Leaves
# CASE/journal, CASE/ps and CASE/status (when it ended by itself).
run_ctl() {
    local out=$BOX_WORK/$1 passes=$(($2 + 1)) wwan=${3:-}
    shift 3
    mkdir -p "$out/fake"
    cat >"$out/scenario.sh" <<SCRIPT
[ -n "$wwan" ] && uci -P/var/state set network.wwan.ipaddr=$wwan
( TIMEWARP=50 TIMEWARP_JOURNAL=/box/out/journal LD_PRELOAD=$warp renderer_ctl 2>/box/out/stderr
  echo \$? >/box/out/status ) &
for _ in \$(seq 1200); do
    [ -f /box/out/status ] && break
    [ "\$(grep -c '^timewarp: slept 5\$' /box/out/journal 2>/dev/null)" -ge $passes ] && break
    sleep 0.1
done
pid=\$(pidof renderer_ctl) && kill \$pid
ps -w >/box/out/ps
SCRIPT
    boxrun --out "$out" --config "$out/config" "$@" -- sh /box/out/scenario.sh
}

pauses() { local i; for ((i = 0; i < $1; i++)); do echo "timewarp: slept 5"; done; }
journal() { head -n "$2" "$BOX_WORK/$1/journal" 2>/dev/null; }
# Restart commands that only journal, so a daemon stays missing.
journal_only() { box_fake_run "$BOX_WORK/$1" gorlin ':'; box_fake_run "$BOX_WORK/$1" quorin ':'; }
# in_ps CASE LINE: LINE is a process line of the box at the end.
in_ps() { grep -qF -- "$2" "$BOX_WORK/$1/ps"; }

# --- no renderer: every pass "gorlin", then the AirPlay check --------------
network_config "$BOX_WORK/none/config" $DEFAULT
journal_only none
run_ctl none 3 ""
assert_eq "$(for i in 1 2 3; do printf 'gorlin\ntimewarp: slept 5\nquorin\n'; done)" \
    "$(journal none 9)" "no renderer, no receiver: both restarted every pass"

# ...and with restart commands that work, both come back and stay.
network_config "$BOX_WORK/back/config" $DEFAULT
run_ctl back 3 ""
assert_eq "gorlin
timewarp: slept 5
quorin
$(pauses 2)" "$(journal back 5)" "restarted once, then left alone"
check "the renderer came back on the LAN address" in_ps back "$(at $DEFAULT)"
check "the AirPlay receiver came back" in_ps back "$AIRPLAY"

# --- the renderer without an address argument counts as stale --------------
network_config "$BOX_WORK/noarg/config" $DEFAULT
run_ctl noarg 3 "" --daemon "velmar -f friendly-name MusicBox -p 49152" --daemon "$AIRPLAY"
assert_eq "gorlin
$(pauses 3)" "$(journal noarg 4)" "a renderer line without ip-address is restarted once"
check "restarted with its address" in_ps noarg "$(at $DEFAULT)"

# --- a WWAN address, one renderer process: restarted every pass, no AirPlay check
network_config "$BOX_WORK/wwan1/config" $DEFAULT
run_ctl wwan1 3 10.0.0.5 --daemon "$(at $DEFAULT)"
assert_eq "$(for i in 1 2 3; do printf 'gorlin\ntimewarp: slept 5\n'; done)" \
    "$(journal wwan1 6)" "restart every pass, AirPlay check skipped"
check "the renderer serves the WWAN address" in_ps wwan1 "$(at 10.0.0.5)"
check "the missing receiver was not restarted" test -z "$(grep -F pravik "$BOX_WORK/wwan1/ps")"

# --- a WWAN address with two renderer processes: their address decides ----
network_config "$BOX_WORK/wwan2/config" $DEFAULT
run_ctl wwan2 3 10.0.0.5 --daemon "$(at 10.0.0.5)" --daemon "$SECOND" --daemon "$AIRPLAY"
assert_eq "$(pauses 3)" "$(journal wwan2 3)" "a renderer on the WWAN address is left alone"

network_config "$BOX_WORK/wwan2old/config" $DEFAULT
journal_only wwan2old
run_ctl wwan2old 3 10.0.0.5 --daemon "$(at $DEFAULT)" --daemon "$SECOND"
assert_eq "$(for i in 1 2 3; do printf 'gorlin\ntimewarp: slept 5\nquorin\n'; done)" \
    "$(journal wwan2old 9)" "a renderer on the old address is restarted, AirPlay checked"

# --- LAN addresses of 7 and 6 characters, and none -------------------------
network_config "$BOX_WORK/lan7/config" 1.1.1.1
run_ctl lan7 3 "" --daemon "$(at 1.1.1.1)" --daemon "$AIRPLAY"
assert_eq "$(pauses 3)" "$(journal lan7 3)" "1.1.1.1 is the start address; its line end is no difference"

network_config "$BOX_WORK/lan6/config" 1.1.11
run_ctl lan6 3 "" --daemon "$(at 1.1.11)" --daemon "$AIRPLAY"
assert_eq "$(for i in 1 2 3; do printf 'gorlin\ntimewarp: slept 5\n'; done)" \
    "$(journal lan6 6)" "1.1.11 is too short: the start address is the default"

network_config "$BOX_WORK/lan0/config"
run_ctl lan0 3 $DEFAULT --daemon "$(at $DEFAULT)" --daemon "$AIRPLAY"
assert_eq "$(pauses 3)" "$(journal lan0 3)" "no LAN address: the start address is the default"

# --- neither address query answers: the watchdog ends with status 0 --------
network_config "$BOX_WORK/gone/config"
run_ctl gone 3 "" --daemon "$(at $DEFAULT)" --daemon "$AIRPLAY"
assert_file_text "$BOX_WORK/gone/status" "0
" "exit status 0"
assert_eq "" "$(journal gone 9)" "nothing restarted, no pause"

# --- a WWAN address comes and goes while the watchdog runs -----------------
# The renderer follows it (gorlin reads the address the way the box does),
# and is put back on the LAN address when the runtime value is cleared.
out=$BOX_WORK/follow
network_config "$out/config" $DEFAULT
cat >"$out/scenario.sh" <<SCRIPT
renderer() { ps -w | grep -F "friendly-name" | grep -v grep; }
# until N TEXT: waits until the journal has N lines and the renderer line holds TEXT
until_seen() {
    for _ in \$(seq 600); do
        [ "\$(wc -l </box/out/journal)" -ge \$1 ] && renderer | grep -qF "\$2" && return 0
        sleep 0.1
    done
    return 1
}
TIMEWARP=50 TIMEWARP_JOURNAL=/box/out/journal LD_PRELOAD=$warp renderer_ctl 2>/dev/null &
touch /box/out/journal
until_seen 3 "ip-address $DEFAULT " && echo "quiet on LAN"
uci -P/var/state set network.wwan.ipaddr=10.0.0.5
until_seen 0 "ip-address 10.0.0.5 " && echo "moved to WWAN"
uci -P/var/state delete network.wwan.ipaddr
until_seen 0 "ip-address $DEFAULT " && echo "back on LAN"
n=\$(wc -l </box/out/journal)
until_seen \$((n + 4)) "ip-address $DEFAULT " && echo "quiet again"
kill \$!
tail -n 4 /box/out/journal | sort -u
SCRIPT
got=$(boxrun --out "$out" --config "$out/config" --daemon "$(at $DEFAULT)" --daemon "$AIRPLAY" \
    -- sh /box/out/scenario.sh)
assert_eq "quiet on LAN
moved to WWAN
back on LAN
quiet again
timewarp: slept 5" "$got" "renderer follows the WWAN address and returns to the LAN one"
check "no restart before the WWAN address came" \
    test "$(grep -m1 -n gorlin "$out/journal" | cut -d: -f1)" -gt 3
