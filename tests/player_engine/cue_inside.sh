# Inside the box: two tracks of one long file, as a CUE sheet lists them, at
# 50 times real speed.
source "$BOX_SRC/tests/e2e/lib.sh"
source "$BOX_SRC/tests/player_frame/dorvu_box.sh"
source "$BOX_SRC/tests/player_engine/engine_lib.sh"
D=/tmp/mnt/sda1
BYTES_PER_SEC=16000  # 8000 Hz mono, 16-bit
played() { [ -n "$(i2s_played_secs $BYTES_PER_SEC | sed -n "$1p")" ]; }

# An empty <url> starts the list's first entry. (A <url> given at start-up
# races the poll's first look at it, which the time stand-in shortens from
# 2 s to 40 ms; the URL of both tracks is picked later, once running.)
playusb_default "" 50 0 >"$PLAYUSB"
start_dorvu

# The first entry: the track that starts at 120 s and lasts 200 s.
wait_tag songname "Track 2" 5 "the track at 120 s is loaded"
wait_tag length 200 3 "<length> is the track's"
positions=()
while [ "$(xml_get songname)" == "Track 2" ]; do
    p=$(xml_get position)
    [ -n "$p" ] && positions+=("$p")
    sleep 0.05
done
max=0
for p in "${positions[@]}"; do [ "$p" -gt "$max" ] && max=$p; done
check "positions count from the track's start (highest seen: $max)" test "$max" -ge 20 -a "$max" -le 201

# It ends when 200 s have passed, not at the end of the file. (A song the
# poll restarts at start-up, before a second of audio, is not counted.)
check "the first track's device closed" wait_for 3 played 1
secs=$(i2s_played_secs $BYTES_PER_SEC | sed -n 1p)
check "the track played from 120 s to about 320 s ($secs s)" test "$secs" -ge 199 -a "$secs" -le 203

# The next entry starts at second 1: its length rule does not apply, it
# plays to the end of the file (329 s from there).
wait_tag songname "Track 1" 5 "the list goes on to the track at 1 s"
check "the track at 1 s ended" wait_for 20 played 2
secs=$(i2s_played_secs $BYTES_PER_SEC | sed -n 2p)
check "the track at 1 s played to the end of the file ($secs s)" test "$secs" -ge 327 -a "$secs" -le 330
wait_tag songname short.wav 5 "then the next file"

# Back to the long file; <startposition> 1 selects the other track and seeks.
web_set url "$D/long.flac"
wait_tag songname "Track 2" 5
# The daemon rewrites the whole file every cycle from what it last read (last
# writer wins), so at this speed a request can be overwritten before the poll
# reads it; the test repeats it as the web interface has to.
seen_startposition() { grep -q "^enter updatenumbyposition" "$DORVU_LOG"; }
for try in 1 2 3 4 5; do
    web_set startposition 1
    wait_for 1 seen_startposition && break
done
check "the start position request reached the daemon" seen_startposition
wait_tag songname "Track 1" 3 "<startposition> selects the track at 1 s"
wait_tag length 100 3 "and publishes its length"
wait_tag startposition 0 3
assert_contains "$(cat "$DORVU_LOG")" "seek pos 1000000,0,1" "seek to the track's start"

stop_dorvu
assert_status 1 "$DORVU_STATUS"
