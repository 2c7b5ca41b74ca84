# Helpers for scripts that run inside the box beside dorvu: they act as the
# web interface on the play-state file. Source after tests/e2e/lib.sh.

PLAYUSB=/etc/config/playusb.xml

# The nine values as the box's configuration provides them.
playusb_default() { # [url] [volume] [loop]
    printf '<?xml version="1.0" encoding="utf-8"?>\n<playusb>\n<url>%s</url>\n<position>0</position>\n<length>0</length>\n<playstate>STOPPED</playstate>\n<volume>%s</volume>\n<seek>0</seek>\n<startposition>0</startposition>\n<songname></songname>\n<loop>%s</loop>\n</playusb>\n' \
        "${1:-}" "${2:-50}" "${3:-0}"
}

xml_get() { # tag
    sed -n "s|.*<$1>\([^<]*\).*|\1|p" "$PLAYUSB" 2>/dev/null | head -n1
}

# web_set TAG VALUE [TAG VALUE...]: one whole-file rewrite, as the web
# interface makes it (new file renamed over the old one).
web_set() {
    local text
    text=$(cat "$PLAYUSB") || return 1
    while [ $# -ge 2 ]; do
        text=$(printf '%s\n' "$text" | sed "s|<$1>[^<]*|<$1>$2|")
        shift 2
    done
    printf '%s\n' "$text" >"$PLAYUSB.web" && mv "$PLAYUSB.web" "$PLAYUSB"
}

# web_sed TAG VALUE: a one-value edit as the web interface's scripts make it,
# BusyBox "sed -i": the whole file rewritten into a new one renamed over it.
web_sed() { sed -i "s|<$1>[^<]*|<$1>$2|" "$PLAYUSB"; }

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
