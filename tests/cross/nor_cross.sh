#!/usr/bin/env bash
# The same nor session on the box's CPU and on the PC, each in the sandbox on
# its own copy of one flash image: the same output and the same flash bytes.
source "$BOX_SRC/tests/e2e/lib.sh"
source "$BOX_SRC/tests/cross/cross_lib.sh"
cross_need nor

box_workdir
w=$BOX_WORK
# A record area full of a pattern first (what an unused flash may hold),
# then a session that fills, refuses, reads and resets.
python3 -c 'import sys; sys.stdout.buffer.write(bytes((i * 13 + i // 251) & 255 for i in range(196608)))' >"$w/flash.pc"
cp "$w/flash.pc" "$w/flash.box"
mkdir -p "$w/out"
cat >"$w/out/session.sh" <<'EOF2'
run() { $NOR "$@"; echo "=$?"; }
run show
run set ssid_name=MusicBox
run set "ssid_password=pass word=with=signs"
run set wwanchan
run set encryption=psk2
run set nosuchkey=1
run set "dms_name=ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz01234567890"
run set "dms_name=ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz012345678901"
run get dms_name
run get wwanchan
run show
run reset
run set airplay_name=Living
run show
EOF2

session() { # flash-file nor-command
    boxrun --flash "$1" --out "$w/out" --share "$BOX_PC_BUILD" --share "$BOX_CROSS_BUILD" \
        --env "NOR=$2" -- sh /box/out/session.sh 2>&1
}
out_pc=$(session "$w/flash.pc" "$BOX_PC_BUILD/bin/nor")
assert_status 0 $? "session ran on the PC"
out_box=$(session "$w/flash.box" "$BOX_EMULATOR $BOX_CROSS_BUILD/bin/nor")
assert_status 0 $? "session ran on the box's CPU"
assert_contains "$out_pc" "MusicBox" "the PC session set a value"
assert_eq "$out_pc" "$out_box" "same output"
same_bytes "flash" "$w/flash.pc" "$w/flash.box"
