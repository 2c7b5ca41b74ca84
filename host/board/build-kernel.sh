#!/usr/bin/env bash
# Builds the board's kernel (Debian's linux-source-6.1 for QEMU's Malta,
# big-endian) once per input and prints the directory holding it:
#   DIR/vmlinux, DIR/src (patched source), DIR/out (build tree for modules).
# Cached under ~/.cache/box-board, keyed by the source package's version, the
# configuration fragment, the patch and the cross compiler.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=${BOX_BOARD_CACHE:-$HOME/.cache/box-board}
tarball=/usr/src/linux-source-6.1.tar.xz
jobs=${BOARD_JOBS:-2}
cross=mips-linux-gnu-

[ -f "$tarball" ] || { echo "build-kernel: $tarball missing (setup.sh installs linux-source-6.1)" >&2; exit 1; }
key=$( { dpkg-query -W -f='${Version}' linux-source-6.1; ${cross}gcc --version | head -n1;
         cat "$here/kernel.config" "$here/malta-hpt-freq.patch"; } | sha256sum | cut -c1-16)
dir=$cache/kernel-$key
mkdir -p "$cache"
exec 9>"$cache/kernel.lock"
flock 9
if [ -f "$dir/done" ]; then echo "$dir"; exit 0; fi

rm -rf "$dir"
start=$SECONDS
# Every build runs at one path, kernel-build, and is then renamed to its key:
# Kbuild records absolute paths, so a tree started from an earlier build
# rebuilds only what the changed options touch when the paths are the same.
work=$cache/kernel-build
rm -rf "$work"
# A build of other inputs from the same source package starts this one off;
# else a fresh build.
prev=$(ls -td "$cache"/kernel-*/done 2>/dev/null | head -n1 || true)
if [ -n "$prev" ] && [ "$(cat "$prev")" = "$(dpkg-query -W -f='${Version}' linux-source-6.1)" ]; then
  prev=${prev%/done}
  echo "build-kernel: building $dir from ${prev##*/}" >&2
  mkdir -p "$work"
  cp -a "$prev/src" "$prev/out" "$work/"
  # The patch is applied again to the pristine file.
  tar -xJf "$tarball" -C "$work" linux-source-6.1/arch/mips/mti-malta/malta-time.c
  mv "$work/linux-source-6.1/arch/mips/mti-malta/malta-time.c" "$work/src/arch/mips/mti-malta/"
  rm -rf "$work/linux-source-6.1"
else
  echo "build-kernel: building $dir (about 5 minutes on 2 idle cores)" >&2
  mkdir -p "$work/out"
  tar -xJf "$tarball" -C "$work"
  mv "$work/linux-source-6.1" "$work/src"
fi
patch -s -d "$work/src" -p1 <"$here/malta-hpt-freq.patch"
mk=(make -s -C "$work/src" O="$work/out" ARCH=mips CROSS_COMPILE=$cross)
KCONFIG_ALLCONFIG="$here/kernel.config" "${mk[@]}" allnoconfig >&2
# Every option asked for must have survived: a lost dependency fails quietly.
lost=$(grep -E '^CONFIG_' "$here/kernel.config" | while IFS= read -r line; do
  grep -qxF "$line" "$work/out/.config" || echo "$line"; done)
[ -z "$lost" ] || { echo "build-kernel: options not taken:" $lost >&2; exit 1; }
nice -n 10 "${mk[@]}" -j"$jobs" vmlinux modules >&2
cp "$work/out/vmlinux" "$work/vmlinux"
dpkg-query -W -f='${Version}' linux-source-6.1 >"$work/done"
mv "$work" "$dir"
echo "build-kernel: done in $((SECONDS - start)) s" >&2
echo "$dir"
