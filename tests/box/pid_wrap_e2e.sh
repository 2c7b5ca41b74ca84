#!/usr/bin/env bash
# The DHCP client kill pipelines of wan_watch and wifi_survey once process
# numbers have wrapped: the shell that runs a pipeline then has a lower number
# than the clients it is to kill (set through /proc/sys/kernel/ns_last_pid).
source "$BOX_SRC/tests/e2e/lib.sh"
box_need wan_watch
box_need wifi_survey
box_need uci
[ -f "$BOX_BUILD/lib/libtimewarp.so" ] || { fail "the time stand-in was not built"; exit 1; }
box_need_upstream
box_workdir

mkdir -p "$BOX_WORK/wan" "$BOX_WORK/survey"
boxrun --upstream dhcp --out "$BOX_WORK/wan" --fake uci \
    --env BOX_SRC="$BOX_SRC" --env BOX_BIN="$BOX_BIN" \
    -- bash "$BOX_SRC/tests/box/pid_wrap_wan_inside.sh"
assert_status 0 $? "wan_watch: checks inside the box"

boxrun --out "$BOX_WORK/survey" \
    --env BOX_SRC="$BOX_SRC" --env BOX_BIN="$BOX_BIN" --env BOX_BUILD="$BOX_BUILD" \
    -- bash "$BOX_SRC/tests/box/pid_wrap_survey_inside.sh"
assert_status 0 $? "wifi_survey: checks inside the box"
