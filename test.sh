#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
#   build/       the programs as shipped (-Os), unit, end-to-end and fuzz-replay tests
#   build-asan/  unit tests and fuzz targets under ASan+UBSan (clang, libFuzzer)
#   build-tsan/  the player's threading tests under TSan
#   build-mips/  big-endian MIPS (the box's CPU): unit tests under qemu, and
#                the same inputs through PC and MIPS binaries compared
# With OPENWRT_DIR=<buildroot>, also openwrt/check.sh: the OpenWrt package
# with OpenWrt's own build system.
set -uo pipefail
cd "$(dirname "$0")"
./setup.sh || exit 1

jobs=$(nproc)
werror=OFF
[ "${CI:-}" = true ] && werror=ON

declare -A took  # seconds per tree, building and testing
configure_and_build() { # dir, cmake args...
  local dir=$1; shift
  local start=$SECONDS
  trap 'took[$dir]=$(( ${took[$dir]:-0} + SECONDS - start )); trap - RETURN' RETURN
  cmake -S . -B "$dir" -DBOX_WERROR=$werror "$@" >"$dir.configure.log" 2>&1 \
    || { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j"$jobs" 2>&1 | grep -v -E '^\[ *[0-9]+%\]' || true
  [ "${PIPESTATUS[0]}" -eq 0 ]
}

status=0
passed=0
failed=0
run_ctest() { # dir, label
  local log start=$SECONDS
  trap 'took[$1]=$(( ${took[$1]:-0} + SECONDS - start )); trap - RETURN' RETURN
  log=$(mktemp)
  ctest --test-dir "$1" --output-on-failure -j"$jobs" 2>&1 | tee "$log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n1)
  if [ -n "$line" ]; then
    local total fail
    total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
    fail=$(sed -E 's/.*passed, ([0-9]+) tests failed.*/\1/' <<<"$line")
    passed=$((passed + total - fail))
    failed=$((failed + fail))
  fi
  rm -f "$log"
}

mkdir -p build build-asan build-tsan build-mips
echo "== build (as shipped)"
configure_and_build build || exit 1
echo "== build-asan (ASan+UBSan, clang)"
configure_and_build build-asan -DCMAKE_BUILD_TYPE=Debug -DBOX_SANITIZE=address \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ || exit 1
echo "== build-tsan (TSan)"
configure_and_build build-tsan -DCMAKE_BUILD_TYPE=Debug -DBOX_SANITIZE=thread || exit 1
echo "== build-mips (big-endian MIPS, tests under qemu)"
configure_and_build build-mips -DCMAKE_TOOLCHAIN_FILE=cmake/mips-linux-gnu.cmake \
  -DBOX_PC_BUILD="$PWD/build" || exit 1

echo "== tests: build"
run_ctest build
echo "== tests: build-asan"
run_ctest build-asan
echo "== tests: build-tsan"
run_ctest build-tsan
echo "== tests: build-mips"
run_ctest build-mips

# The box on QEMU's MIPS Malta board: its own kernel and devices (host/board/).
# Each script is one test here; it prints its own "NAME: N passed, N failed".
# The emulated board's console has been seen to stop answering once after a
# reboot, cause not found (see host/board/README.md): a failed script is run
# once more, and both runs' output stays in the log.
run_board() {
  local start=$SECONDS s
  trap 'took[board]=$(( ${took[board]:-0} + SECONDS - start )); trap - RETURN' RETURN
  for s in tests/board/board_e2e.py tests/board/faults_e2e.py; do
    if BOX_CROSS_BUILD="$PWD/build-mips" python3 "$s" 2>&1 ||
       { echo "board: $s failed; running it once more"; BOX_CROSS_BUILD="$PWD/build-mips" python3 "$s" 2>&1; }; then
      passed=$((passed + 1))
    else
      failed=$((failed + 1))
      status=1
    fi
  done
}
echo "== board (QEMU's MIPS Malta board)"
run_board

# The OpenWrt package with OpenWrt's own build system, only where the user
# points at a buildroot (CI has none).
if [ -n "${OPENWRT_DIR:-}" ]; then
  echo "== OpenWrt package check ($OPENWRT_DIR)"
  openwrt/check.sh || status=1
fi

for t in build build-asan build-tsan build-mips board; do printf 'time %s: %ss\n' "$t" "${took[$t]:-0}"; done
echo "all: $passed passed, $failed failed"
exit $status
