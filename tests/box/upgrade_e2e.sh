#!/usr/bin/env bash
# A firmware upload to a booted box (procd stand-in, every daemon running,
# its clock 20-fold fast): once the image is staged, none of the box's five
# daemons runs, and nothing that they would restart comes back.
source "$BOX_SRC/tests/e2e/lib.sh"
for p in procd dorvu wifi_survey wan_watch renderer_ctl wifi_watch fw_upgrade uci; do box_need $p; done
[ -f "$BOX_BUILD/lib/libtimewarp.so" ] || { fail "the time stand-in was not built"; exit 1; }
box_workdir
mkdir -p "$BOX_WORK/out" "$BOX_WORK/config"
python3 "$BOX_SRC/tests/fw_upgrade/fw_fixture.py" image "$BOX_WORK/out/good.img" || exit 1
printf "config interface 'lan'\n\toption proto 'static'\n\toption ipaddr '192.168.1.1'\n" >"$BOX_WORK/config/network"
boxrun --boot --httpd --out "$BOX_WORK/out" --config "$BOX_WORK/config" --env BOX_SRC="$BOX_SRC" \
    --env LD_PRELOAD="$BOX_BUILD/lib/libtimewarp.so" --env TIMEWARP=20 \
    -- bash "$BOX_SRC/tests/box/upgrade_inside.sh"
assert_status 0 $? "checks inside the box"
