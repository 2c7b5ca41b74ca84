#!/usr/bin/env bash
# Prints the stripped size of each of the eight programs built, as it would take flash,
# and the shared libraries each needs.
#   bench/sizes.sh [BUILD_DIR | BUILD_DIR/bin]     (default: build/bin)
#   bench/sizes.sh build-mips                      the box's CPU (big-endian MIPS)
# The toolchain is taken from the binaries' machine (mips-linux-gnu-strip and
# -readelf for MIPS); STRIP and READELF override it (e.g. an OpenWrt SDK's).
set -uo pipefail
dir=${1:-build/bin}
[ -d "$dir/bin" ] && dir=$dir/bin
[ -d "$dir" ] || { echo "sizes: no folder $dir (build first)" >&2; exit 1; }
programs="dorvu udisk_scan wifi_survey wan_watch nor fw_upgrade renderer_ctl wifi_watch"
goal=409600

first=""
for p in $programs; do [ -x "$dir/$p" ] && { first=$dir/$p; break; }; done
[ -n "$first" ] || { echo "sizes: no programs in $dir" >&2; exit 1; }
machine=$(readelf -h "$first" 2>/dev/null | sed -n 's/^ *Machine: *//p')
prefix=""
case $machine in *MIPS*) prefix=mips-linux-gnu- ;; esac
strip_cmd=${STRIP:-${prefix}strip}
readelf_cmd=${READELF:-${prefix}readelf}
for t in "$strip_cmd" "$readelf_cmd"; do
    command -v "$t" >/dev/null || { echo "sizes: $t not found" >&2; exit 1; }
done

tmp=$(mktemp) || exit 1
trap 'rm -f "$tmp"' EXIT
echo "machine: ${machine:-unknown}"
printf '%-14s %10s %10s  %s\n' program stripped "as built" "needs"
total=0
stdcxx=""
# Only the programs: stand-in commands and test tools share bin/.
for p in $programs; do
    f=$dir/$p
    [ -f "$f" ] && [ -x "$f" ] || continue
    "$strip_cmd" -o "$tmp" "$f" 2>/dev/null || { echo "sizes: cannot strip $f" >&2; continue; }
    s=$(stat -c %s "$tmp")
    needs=$("$readelf_cmd" -d "$f" 2>/dev/null | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | paste -sd' ')
    name=$(basename "$f")
    printf '%-14s %10d %10d  %s\n' "$name" "$s" "$(stat -c %s "$f")" "${needs:--}"
    total=$((total + s))
    case " $needs " in *" libstdc++.so"*) stdcxx="$stdcxx $name" ;; esac
done
printf '%-14s %10d\n' total "$total"

missing=""
for p in $programs; do [ -x "$dir/$p" ] || missing="$missing $p"; done
echo "not built here:${missing:- none}"
echo "goal for all eight: under $goal bytes, none needing libstdc++.so;" \
     "built so far $total bytes, libstdc++.so needed by:${stdcxx:- none}"
