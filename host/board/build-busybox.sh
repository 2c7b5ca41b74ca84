#!/usr/bin/env bash
# Builds BusyBox from Debian's source package, static for big-endian MIPS,
# with Debian's static configuration plus busybox.config, once per input, and
# prints the directory holding DIR/busybox. Cached under ~/.cache/box-board.
# The source is fetched with apt-get source into build-src-board/ (ignored).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
cache=${BOX_BOARD_CACHE:-$HOME/.cache/box-board}
jobs=${BOARD_JOBS:-2}
cross=mips-linux-gnu-
srcdir=$repo/build-src-board

mkdir -p "$cache" "$srcdir"
exec 9>"$cache/busybox.lock"
flock 9
if ! compgen -G "$srcdir/busybox-*/debian/config/pkg/static" >/dev/null; then
  echo "build-busybox: fetching Debian's busybox source into build-src-board/" >&2
  (cd "$srcdir" && apt-get source -qq busybox >apt-source.log 2>&1) \
    || { echo "build-busybox: apt-get source busybox failed, see build-src-board/apt-source.log" >&2; exit 1; }
fi
src=$(ls -d "$srcdir"/busybox-*/ | head -n1)
key=$( { cat "$srcdir"/busybox_*.dsc; ${cross}gcc --version | head -n1; cat "$here/busybox.config"; } \
       | sha256sum | cut -c1-16)
dir=$cache/busybox-$key
if [ -f "$dir/done" ]; then echo "$dir"; exit 0; fi

rm -rf "$dir"; mkdir -p "$dir"
start=$SECONDS
echo "build-busybox: building in $dir (under a minute on 2 idle cores)" >&2
cp -a "$src" "$dir/src"
cat "$here/busybox.config" "$dir/src/debian/config/os/linux" "$dir/src/debian/config/pkg/static" >"$dir/src/.config"
mk=(make -s -C "$dir/src" CROSS_COMPILE=$cross ARCH=mips)
{ yes "" || :; } | "${mk[@]}" oldconfig >/dev/null
nice -n 10 "${mk[@]}" -j"$jobs" busybox >&2
cp "$dir/src/busybox" "$dir/busybox"
"${mk[@]}" busybox.links >/dev/null
cp "$dir/src/busybox.links" "$dir/busybox.links"
rm -rf "$dir/src/debian"
touch "$dir/done"
echo "build-busybox: done in $((SECONDS - start)) s" >&2
echo "$dir"
