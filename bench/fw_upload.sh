#!/usr/bin/env bash
# fw_upgrade behind BusyBox httpd in the box: an 8 MB image uploaded with
# curl -F. Prints the CGI's peak RSS against the request body's size (goal:
# at most the body plus 2 MB) and the time from request to answer with the
# pauses of the service stop shortened 1000-fold by the time stand-in.
# The RSS upload runs without the stand-in (a preload library would add its
# own pages), through a cgi-bin script that runs the unmodified CGI under
# GNU time; its pauses take their real 5 s. curl is asked not to send
# "Expect: 100-continue", whose wait for an answer httpd never gives would
# add a second of the client's own.
#   bench/fw_upload.sh [BUILD_DIR]
set -uo pipefail

if [ "${1:-}" = --inside ]; then # in the box: "body_bytes rss_kb t1 t2 t3 t_nobody"
    cd /box/out || exit 1
    cgi=/usr/mips/cgi-bin
    cp "$(command -v fw_upgrade)" $cgi/fw_upgrade
    printf '#!/bin/sh\nexec env -u LD_PRELOAD /usr/bin/time -f %%M -o /box/out/rss.kb %s/fw_upgrade\n' $cgi >$cgi/fw_rss
    chmod +x $cgi/fw_rss
    up() { curl -s -H 'Expect:' -o answer -w "$2" -F "firmware=@image;type=application/octet-stream" "http://127.0.0.1/cgi-bin/$1"; }
    size=$(up fw_rss '%{size_upload}')
    [ "$(cat answer)" = nidaye ] || { echo "upload refused: $(cat answer)" >&2; exit 1; }
    times=$(for _ in 1 2 3; do up fw_upgrade '%{time_total} '; done)
    [ "$(cat answer)" = nidaye ] || { echo "upload refused: $(cat answer)" >&2; exit 1; }
    # A GET: refused before any service is stopped.
    get=$(curl -s -o /dev/null -w '%{time_total}' http://127.0.0.1/cgi-bin/fw_upgrade)
    echo "$size $(cat rss.kb) $times $get"
    exit 0
fi

src=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$src/build}")
for f in "$build/bin/fw_upgrade" "$build/lib/libtimewarp.so"; do
    [ -e "$f" ] || { echo "missing $f: build the targets fw_upgrade and timewarp" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$src/tests/fw_upgrade/fw_fixture.py" image "$work/image" || exit 1
read -r body rss t1 t2 t3 get < <(BOX_BUILD=$build "$src/host/box/boxrun" --httpd --out "$work" --bin "$build/bin" \
    --env LD_PRELOAD="$build/lib/libtimewarp.so" --env TIMEWARP=1000 -- bash "$src/bench/fw_upload.sh" --inside)
[ -n "${get:-}" ] || { echo "the upload failed" >&2; exit 1; }
body_kb=$(( (body + 1023) / 1024 ))
echo "request body:             $body bytes ($body_kb KB)"
echo "CGI peak RSS:             $rss KB = body + $((rss - body_kb)) KB (goal: at most body + 2048 KB)"
echo "request to answer:        $t1 s, $t2 s, $t3 s (pauses shortened 1000-fold)"
echo "  a GET, no body:         $get s (refused at once, nothing stopped)"
