# The web interface's side of the play-state file, for shell scripts that act
# as it inside the box (tests, the demo). Source it; PLAYUSB may be set before.

: "${PLAYUSB:=/etc/config/playusb.xml}"

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
    # A failed edit leaves the file as it was, never empty.
    while [ $# -ge 2 ]; do
        text=$(sed "s|<$1>[^<]*|<$1>$2|" <<EOF
$text
EOF
) || return 1
        shift 2
    done
    printf '%s\n' "$text" >"$PLAYUSB.web" && mv "$PLAYUSB.web" "$PLAYUSB"
}

# web_sed TAG VALUE: a one-value edit as the web interface's scripts make it,
# BusyBox "sed -i": the whole file rewritten into a new one renamed over it.
web_sed() { sed -i "s|<$1>[^<]*|<$1>$2|" "$PLAYUSB"; }
