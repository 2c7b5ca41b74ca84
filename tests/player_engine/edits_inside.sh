# Inside the box: the web interface edits the play-state file while songs of
# two seconds follow each other. The daemon's own writes (state, position,
# URL, title, length) must never undo an edit, and a song asked for while the
# daemon publishes its start-up song must be played.
source "$BOX_SRC/tests/e2e/lib.sh"
source "$BOX_SRC/tests/player_frame/dorvu_box.sh"
source "$BOX_SRC/tests/player_engine/engine_lib.sh"
D=/tmp/mnt/sda1

now_us() { echo "${EPOCHREALTIME/./}"; }
# sleep_until US: sleeps until the moment US (microseconds, as now_us).
sleep_until() {
    local d=$(($1 - $(now_us)))
    [ $d -gt 0 ] && sleep "$(printf '%d.%06d' $((d / 1000000)) $((d % 1000000)))"
    return 0
}

playusb_default "" 50 0 >"$PLAYUSB"
t0=$(now_us)
start_dorvu

# The playlist thread publishes the start-up song's URL about 3 s after the
# start; a request written then is the web interface's, and wins. (The first
# song lasts 5 s, so it still plays when the request is taken, be it at once
# or, written just after that URL, a cycle later.)
check "the start-up song opened" wait_for 3 rates_are "16000 "
sleep_until $((t0 + 3000000))
web_sed url "$D/three.wav"
check "the song asked for 3 s after the start plays next" wait_for 6 rates_are "16000 32000 "
wait_tag songname three.wav 3 "its title is published"
assert_eq "$D/three.wav" "$(xml_get url)" "<url> keeps the request"

# Every 0.2 s one edit, <volume> and <loop> in turn; each value is read back
# 0.4 s after it was written, right before that tag's next edit. <loop>
# values never ask for repeat (1) or random (2), so the list goes on. At
# least 180 edits of each, and on (up to 260) until ten songs have changed.
MIN_EDITS=180
MAX_EDITS=260
opens0=$(i2s_opens)
edits=0
lost_volume=0
lost_loop=0
start=$(now_us)
for ((i = 0; ; i++)); do
    at=$((start + i * 400000))
    sleep_until $at
    if [ $i -gt 0 ]; then
        got=$(xml_get volume)
        if [ "$got" != "$volume" ]; then
            lost_volume=$((lost_volume + 1))
            echo "volume: wrote $volume, file now $got ($((($(now_us) - t0) / 1000)) ms)" >&2
        fi
    fi
    changes=$(($(i2s_opens) - opens0))
    [ $i -ge $MAX_EDITS ] && break
    [ $i -ge $MIN_EDITS ] && [ $changes -ge 10 ] && break
    volume=$((10 + i * 7 % 90))
    web_sed volume $volume
    sleep_until $((at + 200000))
    if [ $i -gt 0 ]; then
        got=$(xml_get loop)
        if [ "$got" != "$loop" ]; then
            lost_loop=$((lost_loop + 1))
            echo "loop: wrote $loop, file now $got ($((($(now_us) - t0) / 1000)) ms)" >&2
        fi
    fi
    loop=$((3 + i % 97))
    web_sed loop $loop
    edits=$((edits + 1))
done
# The last <loop> edit is read back as well.
sleep_until $((at + 200000))
got=$(xml_get loop)
if [ "$got" != "$loop" ]; then
    lost_loop=$((lost_loop + 1))
    echo "loop: wrote $loop, file now $got (at the end)" >&2
fi
echo "edits: $edits of <volume>, $edits of <loop>, across $changes song changes;" \
    "lost: $lost_volume of <volume>, $lost_loop of <loop>"
check "ten or more song changes during the edits ($changes)" test $changes -ge 10
check "at most one <volume> edit lost ($lost_volume)" test $lost_volume -le 1
check "at most one <loop> edit lost ($lost_loop)" test $lost_loop -le 1

stop_dorvu
assert_status 1 "$DORVU_STATUS" "status after SIGTERM"
assert_eq STOPPED "$(xml_get playstate)" "SIGTERM leaves STOPPED"
