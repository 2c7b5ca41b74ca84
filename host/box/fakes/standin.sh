# Sourced by every stand-in command (the other files here): journals the
# call and does what its control files say. A stand-in file sources this,
# may define `act` (its built-in behaviour) and ends with `standin "$@"`.
#
# The call goes to /box/out/journal as "name arg1 arg2 ..." (name is the
# full path for the stand-ins the box runs by path), and with
# /box/out/calls present also there as "TIME CALLER name args". Then the
# control files /box/out/fake/<key>.*, <key> being the command's base name:
#   <key>.run     shell script run with the call's arguments (replaces the
#                 built-in behaviour; its exit status becomes the default)
#   <key>.stdout  text printed instead of the built-in output
#   <key>.spawn   one stand-in daemon command line per line, started detached
#   <key>.status  exit status to return
set -f
case "$0" in
    /box/fakes/*) name=${0##*/} ;;
    *) name=$0 ;;
esac
key=${name##*/}
ctl=/box/out/fake/$key

# The built-in behaviour: none unless the stand-in defines its own.
act() { :; }

# The nearest caller that is not a shell: the program whose command this is.
caller() {
    p=$PPID
    for _ in 1 2 3 4 5; do
        c=$(cat "/proc/$p/comm" 2>/dev/null) || break
        case "$c" in
            sh|ash|bash|busybox|fake) read -r _ _ _ p _ <"/proc/$p/stat" || break ;;
            *) printf '%s' "$c"; return ;;
        esac
    done
    printf '?'
}

has_arg() { # word, args...
    w=$1; shift
    for a in "$@"; do [ "$a" = "$w" ] && return 0; done
    return 1
}

# daemon_line NAME: the process line the profile gives the daemon NAME.
daemon_line() {
    while read -r kind first rest; do
        if [ "$kind" = daemon ] && [ "$first" = "$1" ]; then
            printf '%s\n' "$first${rest:+ $rest}"
            return 0
        fi
    done </box/lib/profile
    echo "$key: the profile has no daemon $1" >&2
    return 1
}

# start_daemon NAME [ADDRESS]: starts the profile's daemon NAME as a stand-in
# daemon, ADDRESS in place of @address@.
start_daemon() {
    line=$(daemon_line "$1") || return 1
    addr=${2-}
    set --
    for w in $line; do
        [ "$w" = @address@ ] && w=$addr
        set -- "$@" "$w"
    done
    /box/lib/box_fake_daemon "$@"
}

# restart NAME [ADDRESS]: ends every NAME daemon, waits until they are gone
# (so no check sees old and new at once), then starts the profile's NAME.
restart() {
    pids=$(busybox pidof "$1")
    [ -n "$pids" ] && busybox kill $pids 2>/dev/null
    for _ in $(seq 200); do
        alive=0
        for p in $pids; do [ -d "/proc/$p" ] && alive=1; done
        [ $alive -eq 0 ] && break
        sleep 0.01
    done
    start_daemon "$@"
}

# The box's current address as its scripts find it: the WWAN runtime value,
# else the LAN address.
box_address() {
    a=$(uci -P/var/state get network.wwan.ipaddr 2>/dev/null | tail -n 1)
    [ -n "$a" ] || a=$(uci get network.lan.ipaddr 2>/dev/null | head -n 1)
    printf '%s' "$a"
}

standin() {
    printf '%s\n' "$name${*:+ $*}" >>/box/out/journal
    if [ -f /box/out/calls ]; then
        read -r up _ </proc/uptime
        printf '%s %s %s\n' "$up" "$(caller)" "$name${*:+ $*}" >>/box/out/calls
    fi
    status=0
    if [ -f "$ctl.run" ]; then
        sh "$ctl.run" "$@"
        status=$?
    else
        act "$@"
    fi
    [ -f "$ctl.stdout" ] && cat "$ctl.stdout"
    if [ -f "$ctl.spawn" ]; then
        while IFS= read -r line; do
            [ -n "$line" ] && /box/lib/box_fake_daemon $line
        done <"$ctl.spawn"
    fi
    [ -f "$ctl.status" ] && read -r status <"$ctl.status"
    exit "$status"
}
