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
# A build of other inputs from the same source package starts this one off
# (Kbuild rebuilds what the new options touch); else a fresh build.
prev=$(ls -td "$cache"/kernel-*/done 2>/dev/null | head -n1)
if [ -n "$prev" ] && [ "$(cat "$prev")" = "$(dpkg-query -W -f='${Version}' linux-source-6.1)" ]; then
  prev=${prev%/done}
  echo "build-kernel: building in $dir from ${prev##*/}" >&2
  mkdir -p "$dir"
  cp -a "$prev/src" "$prev/out" "$dir/"
  # The patch is reapplied from a pristine file.
  tar -xJf "$tarball" -C "$dir" linux-source-6.1/arch/mips/mti-malta/malta-time.c
  mv "$dir/linux-source-6.1/arch/mips/mti-malta/malta-time.c" "$dir/src/arch/mips/mti-malta/"
  rm -rf "$dir/linux-source-6.1"
else
  echo "build-kernel: building in $dir (about 8 minutes on 2 cores)" >&2
  mkdir -p "$dir/out"
  tar -xJf "$tarball" -C "$dir"
  mv "$dir/linux-source-6.1" "$dir/src"
fi
patch -s -d "$dir/src" -p1 <"$here/malta-hpt-freq.patch"
mk=(make -s -C "$dir/src" O="$dir/out" ARCH=mips CROSS_COMPILE=$cross)
KCONFIG_ALLCONFIG="$here/kernel.config" "${mk[@]}" allnoconfig >&2
# Every option asked for must have survived: a lost dependency fails quietly.
lost=$(grep -E '^CONFIG_' "$here/kernel.config" | while IFS= read -r line; do
  grep -qxF "$line" "$dir/out/.config" || echo "$line"; done)
[ -z "$lost" ] || { echo "build-kernel: options not taken:" $lost >&2; exit 1; }
nice -n 10 "${mk[@]}" -j"$jobs" vmlinux modules >&2
cp "$dir/out/vmlinux" "$dir/vmlinux"
dpkg-query -W -f='${Version}' linux-source-6.1 >"$dir/done"
echo "build-kernel: done in $((SECONDS - start)) s" >&2
echo "$dir"
