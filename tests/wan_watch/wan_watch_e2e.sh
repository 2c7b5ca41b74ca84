# wan_watch on a real cable: a veth pair from the box's br-lan to an upstream
# namespace, with and without a BusyBox DHCP server.
source "$BOX_SRC/tests/e2e/lib.sh"
box_need wan_watch
box_need_upstream
box_workdir
host_links=$(ip -o link | awk '{ print $2 }')

for upstream in dhcp none; do
    out=$BOX_WORK/$upstream
    mkdir -p "$out"
    box_fake_run "$out" brctl 'exec busybox brctl "$@"'
    inside=lease
    [ $upstream = dhcp ] || inside=nolease
    boxrun --upstream $upstream --out "$out" --fake uci --fake brctl \
        --env BOX_SRC="$BOX_SRC" --env BOX_BIN="$BOX_BIN" \
        -- bash "$BOX_SRC/tests/wan_watch/wan_${inside}_inside.sh"
    rc=$?
    assert_status 0 $rc "checks inside the box ($upstream upstream)"
    [ $rc -eq 0 ] || sed 's/^/  wan_watch: /' "$out/wan_watch.log" | tail -20 >&2
done
# A failing command takes its cable and upstream side with it. Other boxes
# (a parallel test) may run servers of their own: only this box's count,
# known by its PID namespace.
ns=$(boxrun --upstream dhcp -- sh -c 'readlink /proc/self/ns/pid; box_cable out; exit 3')
assert_status 3 $? "the command's status comes through"
left=$(for p in $(pgrep -f '^udhcpd -f -a 100 /box/run/'); do
    [ "$(readlink "/proc/$p/ns/pid" 2>/dev/null)" = "$ns" ] && echo "$p"
done)
check "the box had a PID namespace of its own ($ns)" test -n "$ns"
assert_eq "" "$left" "no DHCP server of the box left on the host"
assert_eq "$host_links" "$(ip -o link | awk '{ print $2 }')" "the host's links are as they were"
