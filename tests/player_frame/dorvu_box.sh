# Helpers for scripts that run inside the box beside dorvu: they act as the
# web interface on the play-state file. Source after tests/e2e/lib.sh.

source "$BOX_SRC/host/box/web_iface.sh"

tag_is() { [ "$(xml_get "$1")" == "$2" ]; }

# wait_tag TAG VALUE SECONDS [what]: a check that TAG reaches VALUE in time.
wait_tag() {
    if wait_for "$3" tag_is "$1" "$2"; then
        pass
    else
        fail "${4:-<$1> did not become '$2' within $3 s} (it reads '$(xml_get "$1")')"
    fi
}

# DORVU_ENV: NAME=VALUE words for dorvu alone (the device and time stand-ins),
# so that the script's own sleeps keep their length.
DORVU_LOG=/box/out/dorvu.log
start_dorvu() {
    # shellcheck disable=SC2086
    env ${DORVU_ENV:-} dorvu --log >"$DORVU_LOG" 2>&1 &
    DORVU_PID=$!
}

# stop_dorvu: SIGTERM; sets DORVU_STATUS and DORVU_STOP_MS (time to exit).
stop_dorvu() {
    local t0 t1
    t0=${EPOCHREALTIME/./}
    kill -TERM "$DORVU_PID"
    wait "$DORVU_PID"
    DORVU_STATUS=$?
    t1=${EPOCHREALTIME/./}
    DORVU_STOP_MS=$(((t1 - t0) / 1000))
}
