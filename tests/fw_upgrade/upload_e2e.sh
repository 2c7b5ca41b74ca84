#!/usr/bin/env bash
# The unmodified CGI behind BusyBox httpd in the box, uploads from curl, the
# services it stops running as stand-ins, its pauses shortened.
source "$BOX_SRC/tests/e2e/lib.sh"
box_need fw_upgrade
[ -f "$BOX_BUILD/lib/libtimewarp.so" ] || { fail "the time stand-in was not built"; exit 1; }

box_workdir
w=$BOX_WORK
fx=$w/out/fx
mkdir -p "$fx"
gen() { python3 "$BOX_SRC/tests/fw_upgrade/fw_fixture.py" "$@" || exit 1; }
gen image "$fx/good.img"
gen image "$fx/badmark.img" --mark OpenWRT --seed 2
gen image "$fx/badsum.img" --sum bad --seed 3
gen raw "$fx/raw.body" "$fx/good.img"
gen raw "$fx/badraw.body" "$fx/badsum.img"

services="perl hairtunes pravik dorvu zentrac minidlna velmar avahi-daemon telnetd miniupnpd
          wpa_supplicant holbit udhcpc hotplug2 dbus-daemon ferrow logger"
daemons=()
for s in $services; do daemons+=(--daemon "$s -x"); done
boxrun --httpd --out "$w/out" "${daemons[@]}" \
    --env LD_PRELOAD="$BOX_BUILD/lib/libtimewarp.so" --env TIMEWARP=50 \
    -- sh "$BOX_SRC/tests/fw_upgrade/upload_inside.sh"
assert_status 0 $? "the box run"

res=$w/out/res
E=" there is a error,please reboot the device and upgrade again! <br>"
END=$'</body>\n\n</html>\n'
answer() { cat "$res/$1.answer" 2>/dev/null; echo x; }
expect() { # case answer staged
    assert_eq "$2"x "$(answer "$1")" "$1: answer"
    assert_file_text "$res/$1.staged" "$3"$'\n' "$1: staging file $3"
}

for s in $services; do
    assert_contains "$(cat "$res/ps.before")" "$s -x" "$s running before"
    assert_not_contains "$(cat "$res/ps.after")" "$s -x" "$s gone after"
done
assert_file_text "$w/out/drop_caches" $'3\n' "page cache dropped"

for c in octet plain macbin default trailing raw; do
    expect $c "nidaye" same
done
expect mark "nidayefirmware <br>$END" absent
expect sum "nidaye5$E$END" absent
expect short "nidaye3$E$END" absent
expect absent "nidaye2$E$END" absent
expect huge "nidaye2$E$END" absent

expect direct_raw "Content-type:text/html"$'\r\n\r\n'"nidaye" same
assert_file_text "$res/direct_raw.status" $'0\n' "staged: exit 0"
expect direct_badraw "Content-type:text/html"$'\r\n\r\n'"nidaye5$E$END" absent
assert_file_text "$res/direct_badraw.status" $'1\n' "refused: exit 1"
