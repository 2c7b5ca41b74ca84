#!/usr/bin/env bash
# nor as the box runs it: the real binary in the sandbox, on a flash file
# whose bytes outside the settings record hold a pattern that every command
# must leave alone.
source "$BOX_SRC/tests/e2e/lib.sh"
box_need nor

box_workdir
w=$BOX_WORK
record=114688 # 0x1C000, 1472 bytes
end=116160
# 192 KiB of a repeating, position-dependent pattern, the record included.
python3 -c 'import sys; sys.stdout.buffer.write(bytes((i * 7 + i // 256) & 255 for i in range(196608)))' >"$w/flash"
cp "$w/flash" "$w/pattern"

outside_kept() { # what
    cmp -s <(head -c $record "$w/flash") <(head -c $record "$w/pattern") \
        && cmp -s <(tail -c +$((end + 1)) "$w/flash") <(tail -c +$((end + 1)) "$w/pattern") \
        && [ "$(stat -c %s "$w/flash")" = 196608 ]
}

# Each run in the script below is one nor run; its output, and the status
# after "=", come back in order, so one box run covers the whole session.
mkdir -p "$w/out"
cat >"$w/out/session.sh" <<'EOF2'
run() { nor "$@"; echo "=$?"; }
run show
run reset
run show
run set ssid_name=MusicBox
run set "ssid_password=pass word=with=signs"
run set wwanchan
run set airplay_name=Living
run set encryption=psk2
run set nosuchkey=1
# 63 characters fill the slot; one more is refused.
run set "dms_name=ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz01"
run set "dms_name=ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz012"
run get dms_name
run get ssid_password
run get wwanchan
run get stc_ip
run get nosuchkey
run show
run set ssid_name=Other
run show
EOF2
out=$(boxrun --flash "$w/flash" --out "$w/out" -- sh /box/out/session.sh 2>"$w/err")
status=$?
assert_status 0 $status "session ran"
# The first show is of the pattern's own bytes: only check it succeeded.
session=${out#*=0$'\n'}
assert_eq "=0
=0
=0
=0
=0
=0
=0
=0
=0
=1
ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz01
=0
pass word=with=signs
=0

=0
=0
=0
ssid_name=MusicBox
encryption=psk2
ssid_password=pass word=with=signs
dms_name=ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz01
airplay_name=Living
wwanchan
=0
=0
ssid_name=Other
encryption=psk2
ssid_password=pass word=with=signs
dms_name=ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz01
airplay_name=Living
wwanchan
=0" "$session" "outputs and statuses of the session"
assert_eq "nor: entry longer than 63 characters, not stored" "$(cat "$w/err")" "the over-long entry is refused on stderr"
check "bytes outside the record kept" outside_kept
assert_eq "ssid_name=Other" "$(dd if="$w/flash" bs=1 skip=$record count=64 2>/dev/null | tr -d '\0')" "slot 0 on the flash"
assert_eq "0" "$(dd if="$w/flash" bs=1 skip=$((record + 15)) count=49 2>/dev/null | tr -d '\0' | wc -c)" "slot 0 zero-padded"

boxrun --flash "$w/flash" -- nor reset
check "reset keeps the outside" outside_kept
assert_eq "0" "$(dd if="$w/flash" bs=1 skip=$record count=1472 2>/dev/null | tr -d '\0' | wc -c)" "reset zeroes the record"

# Usage: byte for byte on stdout, status 1; a missing device wins over a bad command.
printf '%s\n' "usage: user config tool" \
    "config parameters are: ssid_name encryption ssid_password network_mode wan_mode" \
    "                       stc_ip stc_mask stc_gw stc_dns1 stc_dns2" \
    "                       smb_password smb_enable smb_anonymous_en" \
    "                       ftp_password ftp_enable ftp_anonymous_en dms_enable dms_name" \
    $'\tset \t\t: nor set parameter=value ' \
    $'\tget \t\t: nor get parameter ' \
    $'\treset \t\t: clear user config data ' \
    $'\tshow \t\t: print all user config data ' >"$w/usage.expected"
boxrun --flash "$w/flash" -- nor >"$w/usage1" 2>&1
assert_status 1 $? "no command"
assert_file_eq "$w/usage.expected" "$w/usage1" "usage without a command"
boxrun --flash "$w/flash" -- nor SHOW >"$w/usage2" 2>&1
assert_status 1 $? "unknown command"
assert_file_eq "$w/usage.expected" "$w/usage2" "usage for an unknown command"
out=$(boxrun -- nor bogus 2>&1)
assert_status 1 $? "no device"
assert_eq "" "$out" "no device: no output at all"
check "still the pattern outside" outside_kept
