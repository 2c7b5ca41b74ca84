#!/usr/bin/env bash
# Prints the stripped size of every program built, as it would take flash.
#   bench/sizes.sh [BUILD_DIR | BUILD_DIR/bin]     (default: build/bin)
# STRIP may name the toolchain's strip for a cross build (e.g. mips-openwrt-linux-strip).
set -uo pipefail
dir=${1:-build/bin}
[ -d "$dir/bin" ] && dir=$dir/bin
[ -d "$dir" ] || { echo "sizes: no folder $dir (build first)" >&2; exit 1; }
strip_cmd=${STRIP:-strip}
command -v "$strip_cmd" >/dev/null || { echo "sizes: $strip_cmd not found" >&2; exit 1; }

tmp=$(mktemp) || exit 1
trap 'rm -f "$tmp"' EXIT
printf '%-14s %10s %10s\n' program stripped "as built"
total=0
found=0
for f in "$dir"/*; do
    [ -f "$f" ] && [ -x "$f" ] || continue
    "$strip_cmd" -o "$tmp" "$f" 2>/dev/null || { echo "sizes: cannot strip $f" >&2; continue; }
    s=$(stat -c %s "$tmp")
    printf '%-14s %10d %10d\n' "$(basename "$f")" "$s" "$(stat -c %s "$f")"
    total=$((total + s))
    found=$((found + 1))
done
[ $found -gt 0 ] || { echo "sizes: no programs in $dir" >&2; exit 1; }
printf '%-14s %10d\n' total "$total"
