#!/usr/bin/env bash
# The time stand-in: warped sleeps are short; absolute deadlines, and runs
# without a usable TIMEWARP, are not.
source "$(dirname "$0")/lib.sh"

lib=$BOX_BUILD/lib/libtimewarp.so
probe=$BOX_BUILD/tests/e2e/timewarp_probe
check "the preload library was built" test -f "$lib"
check "the probe was built" test -x "$probe"

# One box run; each line: the ms that `probe HOW SECONDS` took with TIMEWARP.
out=$(boxrun --env LD_PRELOAD="$lib" --env PROBE="$probe" -- sh -c '
    for how in sleep usleep nanosleep clock_rel; do TIMEWARP=40 $PROBE $how 4; done
    TIMEWARP=40 $PROBE clock_abs 1
    $PROBE nanosleep 1
    TIMEWARP=junk $PROBE usleep 1
    TIMEWARP=0 $PROBE sleep 1
')
read -r -d '' s_sleep s_usleep s_nano s_rel abs plain junk zero <<<"$out"
for pair in "sleep:$s_sleep" "usleep:$s_usleep" "nanosleep:$s_nano" "clock_nanosleep:$s_rel"; do
    ms=${pair#*:}
    check "${pair%%:*} of 4 s with TIMEWARP=40 took ${ms} ms" test "${ms:-99999}" -lt 1500
    check "${pair%%:*} of 4 s with TIMEWARP=40 still slept (${ms} ms)" test "${ms:-0}" -ge 90
done
check "an absolute deadline is kept (${abs} ms)" test "${abs:-0}" -ge 990
check "no TIMEWARP, no change (${plain} ms)" test "${plain:-0}" -ge 990
check "TIMEWARP=junk changes nothing (${junk} ms)" test "${junk:-0}" -ge 990
check "TIMEWARP=0 changes nothing (${zero} ms)" test "${zero:-0}" -ge 990

# TIMEWARP_JOURNAL: the finished sleeps of the process started with it, in
# order; a child it starts (here the probe under sh) journals nothing.
box_workdir
out=$(boxrun --out "$BOX_WORK" --env LD_PRELOAD="$lib" --env PROBE="$probe" -- sh -c '
    TIMEWARP=40 TIMEWARP_JOURNAL=/box/out/j $PROBE usleep 2.5 >/dev/null
    TIMEWARP=40 TIMEWARP_JOURNAL=/box/out/j $PROBE clock_rel 4 >/dev/null
    TIMEWARP=40 TIMEWARP_JOURNAL=/box/out/j sh -c "$PROBE nanosleep 2; true" >/dev/null
    cat /box/out/j')
assert_eq "timewarp: slept 2.5
timewarp: slept 4" "$out" "journal of the started process's sleeps only"
