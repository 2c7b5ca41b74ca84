# Shared by the web interface's CGIs (BusyBox sh, run by BusyBox httpd).
# The play-state edits are the ones every web-side script uses.
. ./web_iface.sh

UCI_SSID=wireless.@wifi-iface[1].ssid
UCI_ENCRYPTION=wireless.@wifi-iface[1].encryption
UCI_WAN=network.wan.proto

# The request's form: the query string, then a urlencoded body of at most 4 KiB.
FORM=${QUERY_STRING:-}
if [ "${REQUEST_METHOD:-GET}" = POST ]; then
    len=${CONTENT_LENGTH:-0}
    case "$len" in '' | *[!0-9]*) len=0 ;; esac
    [ "$len" -le 4096 ] || len=4096
    FORM="$FORM&$(head -c "$len")"
fi

# form NAME: the decoded value of the form's first NAME field (empty if none).
form() {
    local v
    v=$(printf '%s' "$FORM" | tr '&' '\n' | sed -n "s/^$1=//p" | head -n1)
    [ -n "$v" ] && busybox httpd -d "$v"
}

json_header() { printf 'Content-type: application/json\r\nCache-Control: no-store\r\n\r\n'; }

# json_str TEXT: TEXT as a JSON string (control characters dropped).
json_str() {
    printf '"%s"' "$(printf '%s' "$1" | tr -d '\000-\037' | sed 's/\\/\\\\/g; s/"/\\"/g')"
}

answer_ok() { json_header; printf '{"ok":true}\n'; exit 0; }
answer_error() { json_header; printf '{"ok":false,"error":%s}\n' "$(json_str "$1")"; exit 0; }

# plain TEXT: no control characters (a newline would split a grep pattern,
# a sed command or a UCI value).
plain() { [ "$(printf '%s' "$1" | tr -d '\000-\037\177')" = "$1" ]; }

# number TEXT MAX: TEXT is a decimal number from 0 to MAX.
number() {
    case "$1" in '' | *[!0-9]*) return 1 ;; esac
    [ ${#1} -le 6 ] && [ "$1" -le "$2" ]
}

# The disk list on the mounted USB disk, as the player finds the disk.
disk_list() {
    local m
    for m in $(awk '$2 ~ "^/tmp/mnt/" { print $2 }' /proc/mounts); do
        [ -f "$m/.udisklist" ] && { echo "$m/.udisklist"; return 0; }
    done
    return 1
}
