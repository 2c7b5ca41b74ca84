#!/usr/bin/env bash
# The upload CGI on the box's CPU and on the PC, run in the sandbox on the
# same upload bodies whose image starts at each offset 0 to 7 in the body
# (the box's CPU faults on unaligned word loads): the same answer, exit
# status and staged bytes.
source "$BOX_SRC/tests/e2e/lib.sh"
source "$BOX_SRC/tests/cross/cross_lib.sh"
if [ ! -d "$BOX_SRC/fw_upgrade" ]; then
    trap - EXIT
    echo "fw_upgrade_cross: no fw_upgrade in this tree, skipped"
    exit 0
fi
cross_need fw_upgrade

box_workdir
w=$BOX_WORK
mkdir -p "$w/out/fx"
gen() { python3 "$BOX_SRC/tests/fw_upgrade/fw_fixture.py" "$@" || exit 1; }
gen image "$w/out/fx/good.img"
gen image "$w/out/fx/badsum.img" --sum bad
# Bodies whose part head (and so the image) grows a byte at a time; the
# buffer the CGI reads into is word-aligned, so the image starts at each
# offset modulo 8 once.
python3 - "$w/out/fx" <<'PY' || exit 1
import sys
d = sys.argv[1]
for kind in ("good", "badsum"):
    img = open(f"{d}/{kind}.img", "rb").read()
    seen = set()
    for extra in range(8):
        head = ('--B0undary\r\nContent-Disposition: form-data; name="firmware"; '
                'filename="fw%s.bin"\r\nContent-Type: application/octet-stream\r\n\r\n'
                % ("x" * extra)).encode()
        offset = len(head) % 8
        seen.add(offset)
        with open(f"{d}/{kind}.{offset}.body", "wb") as f:
            f.write(head + img + b"\r\n--B0undary--\r\n")
    assert len(seen) == 8
PY

cat >"$w/out/session.sh" <<'EOF2'
cd /box/out || exit 1
mkdir -p "res/$CPU"
for b in fx/*.body; do
    n=$(basename "$b" .body)
    CONTENT_LENGTH=$(wc -c <"$b") $FW <"$b" >"res/$CPU/$n.answer"
    echo $? >"res/$CPU/$n.status"
    if [ -f /tmp/fwupgrade ]; then sha256sum </tmp/fwupgrade; else echo absent; fi >"res/$CPU/$n.staged"
    rm -f /tmp/fwupgrade
done
EOF2
session() { # cpu fw-command timewarp-library
    boxrun --out "$w/out" --share "$BOX_PC_BUILD" --share "$BOX_CROSS_BUILD" \
        --env "CPU=$1" --env "FW=$2" --env "LD_PRELOAD=$3" --env TIMEWARP=50 \
        -- sh /box/out/session.sh
}
session pc "$BOX_PC_BUILD/bin/fw_upgrade" "$BOX_PC_BUILD/lib/libtimewarp.so"
assert_status 0 $? "PC session"
session box "$BOX_EMULATOR $BOX_CROSS_BUILD/bin/fw_upgrade" "$BOX_CROSS_BUILD/lib/libtimewarp.so"
assert_status 0 $? "box session"

good=$(sha256sum <"$w/out/fx/good.img")
r=$w/out/res
for k in 0 1 2 3 4 5 6 7; do
    assert_eq "0 $good" "$(cat "$r/pc/good.$k.status") $(cat "$r/pc/good.$k.staged")" "PC stages the image at offset $k"
    assert_eq "1 absent" "$(cat "$r/pc/badsum.$k.status") $(cat "$r/pc/badsum.$k.staged")" "PC refuses the bad sum at offset $k"
    for kind in good badsum; do
        for part in answer status staged; do
            assert_file_eq "$r/pc/$kind.$k.$part" "$r/box/$kind.$k.$part" "$kind image at offset $k: same $part"
        done
    done
done
