#!/usr/bin/env bash
# The unmodified CGI behind BusyBox httpd in the box, uploads from curl, the
# services it stops running as stand-ins, its pauses shortened. Besides good
# and bad images: requests that carry none, two uploads at once, a link
# planted at the staging path, markup in the field name.
source "$BOX_SRC/tests/e2e/lib.sh"
box_need fw_upgrade
[ -f "$BOX_BUILD/lib/libtimewarp.so" ] || { fail "the time stand-in was not built"; exit 1; }

box_workdir
w=$BOX_WORK
fx=$w/out/fx
mkdir -p "$fx"
gen() { python3 "$BOX_SRC/tests/fw_upgrade/fw_fixture.py" "$@" || exit 1; }
gen image "$fx/good.img"
gen image "$fx/badmark.img" --mark OpenWRT --pattern 2
gen image "$fx/badsum.img" --sum bad --pattern 3
gen raw "$fx/raw.body" "$fx/good.img"
gen raw "$fx/badraw.body" "$fx/badsum.img"
gen raw "$fx/script.body" "$fx/badmark.img" --name "<script>alert('x&y')</script>"

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
    assert_contains "$(cat "$res/ps.refused")" "$s -x" "$s still running after the refused requests"
    assert_not_contains "$(cat "$res/ps.after")" "$s -x" "$s gone after an upload"
done
assert_file_text "$w/out/drop_caches" $'3\n' "page cache dropped"

# Requests that cannot carry an image: refused at once.
expect absent "nidaye2$E$END" absent
expect small "nidaye2$E$END" absent
expect kept "nidaye2$E$END" same
expect huge "nidaye2$E$END" absent

for c in octet plain macbin default trailing raw; do
    expect $c "nidaye" same
done
expect mark "nidayefirmware <br>$END" absent
expect script "nidaye&lt;script&gt;alert(&#39;x&amp;y&#39;)&lt;/script&gt; <br>$END" absent
expect sum "nidaye5$E$END" absent
expect short "nidaye3$E$END" absent

# Two at once: the second refused without touching the first or the services.
expect first "nidaye" same
assert_eq "nidaye1$E$END"x "$(answer second)" "second: answer"
assert_file_text "$res/second.staged" $'kept\n' "second: the first one's staging file kept"
for s in $services; do
    assert_contains "$(cat "$res/ps.second.before")" "$s -x" "$s back before the second upload"
    assert_contains "$(cat "$res/ps.second.after")" "$s -x" "$s still running after the second upload"
done

# The planted link: neither followed nor removed.
assert_eq "nidaye1$E$END"x "$(answer planted)" "planted: answer"
assert_file_text "$res/victim" $'untouched\n' "planted: the link's target"
assert_file_text "$res/planted.link" $'/etc/victim\n' "planted: the link left alone"

expect direct_raw "Content-type:text/html"$'\r\n\r\n'"nidaye" same
assert_file_text "$res/direct_raw.status" $'0\n' "staged: exit 0"
expect direct_badraw "Content-type:text/html"$'\r\n\r\n'"nidaye5$E$END" absent
assert_file_text "$res/direct_badraw.status" $'1\n' "refused: exit 1"
expect killed "Content-type:text/html"$'\r\n\r\n'"nidaye" absent
assert_file_text "$res/killed.status" $'153\n' "killed: by SIGXFSZ at the staging write"
