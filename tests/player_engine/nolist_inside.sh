# Inside the box: a disk without a list. Songs play once, as single songs.
source "$BOX_SRC/tests/e2e/lib.sh"
source "$BOX_SRC/tests/player_frame/dorvu_box.sh"
source "$BOX_SRC/tests/player_engine/engine_lib.sh"
D=/tmp/mnt/sda1

playusb_default "" 50 0 >"$PLAYUSB"
start_dorvu

# An empty <url> and no list: four failed opens, then stopped, and the file
# says so.
check "the opens gave up" wait_for 10 grep -q "error when av_init" "$DORVU_LOG"
wait_tag playstate STOPPED 3 "a song that did not open leaves STOPPED"
tries=$(grep -c "Can't open" "$DORVU_LOG")
plays=$(grep -c "error when av_init" "$DORVU_LOG")
assert_eq $((plays * 4)) "$tries" "the empty URL was tried four times per play ($plays plays)"
assert_eq 0 "$(i2s_opens)" "the device is never opened"

# A URL not in any list plays once, then the player stays stopped.
web_set url "$D/a.mp3"
check "a.mp3 opened" wait_for 5 rates_are "44100 "
wait_tag playstate STOPPED 8 "after its end the player stays stopped"
assert_eq 0 "$(xml_get position)" "position reset at the stop"
sleep 1.5
assert_eq 1 "$(i2s_opens)" "no next song without a list"

# A seek while stopped does nothing.
seeks=$(grep -c "timestamp" "$DORVU_LOG")
web_set seek 2
wait_tag seek 0 3
sleep 0.5
assert_eq "$seeks" "$(grep -c "timestamp" "$DORVU_LOG")" "no seek made while stopped"
assert_eq 1 "$(i2s_opens)" "nothing reopened by the seek"

# "PLAYING" from the web interface plays the song again.
web_set playstate PLAYING
check "PLAYING after the stop plays the song again" wait_for 5 rates_are "44100 44100 "

stop_dorvu
assert_status 1 "$DORVU_STATUS"
assert_eq STOPPED "$(xml_get playstate)"
