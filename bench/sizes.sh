#!/usr/bin/env bash
# Prints the stripped size of each of the eight programs built, as it would take flash,
# and the shared libraries each needs.
#   bench/sizes.sh [BUILD_DIR | BUILD_DIR/bin]     (default: build/bin)
#   bench/sizes.sh build-mips                      the box's CPU (big-endian MIPS)
# A MIPS tree links the FFmpeg it builds statically (for the tests under the
# emulator); the box's package links FFmpeg's shared libraries. For dorvu and
# udisk_scan the script then configures and builds a companion tree
# <tree>-shared (the same FFmpeg as shared libraries, no tests) and measures
# them from there.
# The toolchain is taken from the binaries' machine (mips-linux-gnu-strip and
# -readelf for MIPS); STRIP and READELF override it (e.g. an OpenWrt SDK's).
set -uo pipefail
dir=${1:-build/bin}
[ -d "$dir/bin" ] && dir=$dir/bin
[ -d "$dir" ] || { echo "sizes: no folder $dir (build first)" >&2; exit 1; }
programs="dorvu udisk_scan wifi_survey wan_watch nor fw_upgrade renderer_ctl wifi_watch"
goal=409600
image=8126464  # the box's whole firmware image

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

# dorvu and udisk_scan as the package builds them: against shared FFmpeg.
declare -A from stripped
needs_of() { "$readelf_cmd" -d "$1" 2>/dev/null | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | paste -sd' '; }
tree=$(cd "$dir/.." && pwd)
if [ -n "$prefix" ] && [ -f "$tree/CMakeCache.txt" ] && [ -x "$dir/dorvu" ] &&
   ! needs_of "$dir/dorvu" | grep -q libavcodec; then
    shared=$tree-shared
    src=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$tree/CMakeCache.txt")
    echo "dorvu and udisk_scan: building them against shared FFmpeg in $shared"
    mkdir -p "$shared"
    if cmake -S "$src" -B "$shared" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mips-linux-gnu.cmake" \
            -DBOX_FFMPEG_SHARED=ON -DBOX_TESTS=OFF >"$shared/sizes.log" 2>&1 &&
       nice cmake --build "$shared" -j2 --target dorvu udisk_scan >>"$shared/sizes.log" 2>&1; then
        from[dorvu]=$shared/bin
        from[udisk_scan]=$shared/bin
    else
        echo "sizes: the shared build failed (see $shared/sizes.log); dorvu and udisk_scan as linked here" >&2
    fi
fi

tmp=$(mktemp) || exit 1
trap 'rm -f "$tmp"' EXIT
echo "machine: ${machine:-unknown}"
printf '%-14s %10s %10s  %s\n' program stripped "as built" "needs"
total=0
stdcxx=""
# Only the programs: stand-in commands and test tools share bin/.
for p in $programs; do
    f=${from[$p]:-$dir}/$p
    [ -f "$f" ] && [ -x "$f" ] || continue
    "$strip_cmd" -o "$tmp" "$f" 2>/dev/null || { echo "sizes: cannot strip $f" >&2; continue; }
    s=$(stat -c %s "$tmp")
    needs=$("$readelf_cmd" -d "$f" 2>/dev/null | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | paste -sd' ')
    name=$(basename "$f")
    printf '%-14s %10d %10d  %s\n' "$name" "$s" "$(stat -c %s "$f")" "${needs:--}"
    total=$((total + s))
    stripped[$name]=$s
    case " $needs " in *" libstdc++.so"*) stdcxx="$stdcxx $name" ;; esac
done
printf '%-14s %10d\n' total "$total"
if [ -n "${from[dorvu]:-}" ]; then
    echo "FFmpeg's shared libraries (stripped), not counted above:"
    libs=0
    for l in "${from[dorvu]}"/../fetched/ffmpeg/lib/lib*.so.[0-9]*; do
        [ -f "$l" ] && [ ! -L "$l" ] || continue
        "$strip_cmd" -o "$tmp" "$l" 2>/dev/null || continue
        printf '  %-22s %10d\n' "$(basename "$l")" "$(stat -c %s "$tmp")"
        libs=$((libs + $(stat -c %s "$tmp")))
    done
    # What the player's package and its FFmpeg put on the flash, uncompressed
    # (the image's squashfs compresses them further).
    player=$((${stripped[dorvu]:-0} + ${stripped[udisk_scan]:-0} + libs))
    printf 'player as shipped (dorvu, udisk_scan, FFmpeg libraries): %d bytes, %d.%d%% of the %d-byte firmware image\n' \
        "$player" $((player * 100 / image)) $((player * 1000 / image % 10)) "$image"
fi

missing=""
for p in $programs; do [ -x "$dir/$p" ] || missing="$missing $p"; done
echo "not built here:${missing:- none}"
echo "goal for all eight: under $goal bytes, none needing libstdc++.so;" \
     "built so far $total bytes, libstdc++.so needed by:${stdcxx:- none}"
