#!/usr/bin/env bash
# The procd stand-in of the box sandbox: respawn rules, stop, the init verbs.
source "$BOX_SRC/tests/e2e/lib.sh"
box_need procd
[ -f "$BOX_BUILD/lib/libtimewarp.so" ] || { fail "the time stand-in was not built"; exit 1; }
box_workdir
boxrun --env BOX_SRC="$BOX_SRC" --env LD_PRELOAD="$BOX_BUILD/lib/libtimewarp.so" --env TIMEWARP=20 \
    -- bash "$BOX_SRC/tests/box/procd_inside.sh"
assert_status 0 $? "checks inside the box"
