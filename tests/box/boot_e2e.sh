#!/usr/bin/env bash
# boxrun --boot: the package's init scripts and programs installed where the
# package puts them, the S* scripts started in order under the procd
# stand-in, and how the daemons then fare (its clock 20-fold fast).
source "$BOX_SRC/tests/e2e/lib.sh"
for p in procd dorvu udisk_scan wifi_survey wan_watch renderer_ctl wifi_watch nor fw_upgrade uci; do box_need $p; done
[ -f "$BOX_BUILD/lib/libtimewarp.so" ] || { fail "the time stand-in was not built"; exit 1; }
box_workdir
mkdir -p "$BOX_WORK/out"
boxrun --boot --out "$BOX_WORK/out" --env BOX_SRC="$BOX_SRC" \
    --env LD_PRELOAD="$BOX_BUILD/lib/libtimewarp.so" --env TIMEWARP=20 \
    -- bash "$BOX_SRC/tests/box/boot_inside.sh"
assert_status 0 $? "checks inside the box"
