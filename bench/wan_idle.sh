#!/usr/bin/env bash
# wan_watch at rest: the cable in, the lease taken and the address check
# done, then SECONDS of nothing happening. Prints the CPU that the daemon and
# the commands it ran used (its own time plus that of its reaped children,
# from /proc/<pid>/stat, as a share of one core) and the processes started
# per second in the box (the box's PID namespace counter; on the box every
# fork counts). Runs in the sandbox with a cable to an upstream DHCP server
# and the build's uci command. Prints figures only.
#   bench/wan_idle.sh [BUILD_DIR] [SECONDS]   (defaults: build, 60)
set -uo pipefail

if [ "${1:-}" = --inside ]; then  # in the box: print "ticks forks passes"
    secs=$2
    wan_watch >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 200); do
        ip -4 -o addr show dev eth0 | grep -q inet && break
        sleep 0.1
    done
    ip -4 -o addr show dev eth0 | grep -q inet || { echo "no lease" >&2; exit 1; }
    sleep 3 # past the address check, 1.25 s after the client's start
    # Builtins only between the two readings: the one fork is the sleep.
    read -r last0 </proc/sys/kernel/ns_last_pid
    read -r stat0 <"/proc/$pid/stat"
    sleep "$secs"
    read -r stat1 <"/proc/$pid/stat"
    read -r last1 </proc/sys/kernel/ns_last_pid
    ticks() { set -- ${1##*) }; echo $(( ${12} + ${13} + ${14} + ${15} )); }
    echo "$(( $(ticks "$stat1") - $(ticks "$stat0") )) $(( last1 - last0 - 1 ))"
    kill "$pid"
    exit 0
fi

src=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$src/build}")
secs=${2:-60}
for f in wan_watch uci; do
    [ -x "$build/bin/$f" ] || { echo "wan_idle: $build/bin/$f is missing (build targets wan_watch and uci_cli)" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config"
printf "config interface 'lan'\n\toption type 'bridge'\n\toption proto 'static'\n\nconfig interface 'wan'\n\toption proto 'dhcp'\n" \
    >"$work/config/network"
res=$("$src/host/box/boxrun" --upstream dhcp --config "$work/config" --bin "$build/bin" \
      -- bash "$src/bench/wan_idle.sh" --inside "$secs") || { echo "wan_idle: the run failed" >&2; exit 1; }
read -r ticks forks <<<"$res"
hz=$(getconf CLK_TCK)
awk -v t="$ticks" -v hz="$hz" -v s="$secs" -v f="$forks" 'BEGIN {
    printf "wan_watch idle, %d s, cable in, lease settled\n", s
    printf "  CPU (daemon + children): %.2f s, %.2f %% of one core\n", t / hz, 100 * t / hz / s
    printf "  processes started: %d, %.1f per second\n", f, f / s
}'
