# Inside the box, no disk: the daemon's poll of the play-state file, the
# file's disappearance and its end on SIGTERM.
source "$BOX_SRC/tests/e2e/lib.sh"
source "$BOX_SRC/tests/player_frame/dorvu_box.sh"

playusb_default "" 50 0 >"$PLAYUSB"
start_dorvu

# Start-up with no disk and an empty <url>: nothing opens, and the file says
# STOPPED once the opens gave up.
check "start-up tried the empty URL" wait_for 5 grep -q "error when av_init" "$DORVU_LOG"
wait_tag playstate STOPPED 3 "a start-up that plays nothing leaves STOPPED"
assert_eq "0" "$(xml_get position)" "nothing plays, so <position> stays"

# Requests the poll resets: a seek and a start position.
web_set seek 5 startposition 30
wait_tag seek 0 4 "<seek> reset after a request"
wait_tag startposition 0 4 "<startposition> reset after a request"
# Idle values are left as the web interface wrote them.
web_set seek -3
sleep 2.5
assert_eq "-3" "$(xml_get seek)" "a negative seek is no request"

# The file disappears: the daemon never writes it back; once restored it is
# followed again.
rm -f "$PLAYUSB"
web_request_while_gone=$(playusb_default "" 50 0 | sed 's|<seek>0|<seek>9|')
sleep 3
check "the daemon does not recreate a deleted file" test ! -e "$PLAYUSB"
printf '%s\n' "$web_request_while_gone" >"$PLAYUSB"
wait_tag seek 0 4 "the restored file is followed again"

# A value the daemon writes never adds a tag; other text is carried along.
assert_contains "$(cat "$PLAYUSB")" '<?xml version="1.0" encoding="utf-8"?>' "prologue kept"
assert_eq 1 "$(grep -c '<url>' "$PLAYUSB")" "one <url> tag"

stop_dorvu
assert_status 1 "$DORVU_STATUS" "exit status after SIGTERM"
assert_eq STOPPED "$(xml_get playstate)" "SIGTERM leaves STOPPED"
check "the exit comes about a second after SIGTERM ($DORVU_STOP_MS ms)" \
    test "$DORVU_STOP_MS" -ge 900 -a "$DORVU_STOP_MS" -le 2000
assert_contains "$(cat "$DORVU_LOG")" $'\tdorvu finish code=15!' "finish line"
check "no temporary file left in /etc/config" test -z "$(ls /etc/config | grep -v '^playusb.xml$')"

# Stale temporary files of the file are removed at start-up.
touch /etc/config/playusb.xml.tmpAb12Cd /etc/config/playusb.xml.web
start_dorvu
check "started again" wait_for 5 grep -q "error when av_init" "$DORVU_LOG"
check "a stale temporary file is removed at start-up" test ! -e /etc/config/playusb.xml.tmpAb12Cd
check "other files stay" test -e /etc/config/playusb.xml.web
rm -f /etc/config/playusb.xml.web
stop_dorvu

# Without the thread that waits for SIGTERM the daemon could never be
# stopped by name: it does not start. (A huge default thread stack under an
# address-space limit makes every thread creation fail.)
out=$(ulimit -s 2000000 && ulimit -v 1500000 && timeout -s KILL 10 dorvu --log 2>&1; echo "status=$?")
assert_eq $'install_signal_handlers failed!\nstatus=255' "$out" "start-up fails without the signal thread"
