# Inside the box: a disk of four songs played as a list while the web
# interface pauses, seeks, changes volume, loop mode and song.
source "$BOX_SRC/tests/e2e/lib.sh"
source "$BOX_SRC/tests/player_frame/dorvu_box.sh"
source "$BOX_SRC/tests/player_engine/engine_lib.sh"
D=/tmp/mnt/sda1

playusb_default "" 50 0 >"$PLAYUSB"
start_dorvu

# Start-up with an empty <url> plays the list's first entry.
wait_tag url "$D/a.mp3" 5 "start-up loads the first entry"
wait_tag playstate PLAYING 3
assert_eq "a.mp3" "$(xml_get songname)" "title published"
check "a.mp3 opened at its own rate and volume 50 sent as 65" \
    wait_for 5 rates_are "44100 "
check "volume 65 sent" i2s_has "VOLUME 65"
assert_eq 12 "$(xml_get length)" "<length> of a.mp3"
web_set volume 75
check "a volume change during play is sent mapped" wait_for 3 i2s_has "VOLUME 80"

# The end of the file leads to the next entry by itself.
wait_tag url "$D/b.flac" 10 "after a.mp3 comes b.flac"
check "b.flac opened" wait_for 3 rates_are "44100 22050 "
check "b.flac is playing" wait_for 3 position_at_least 1

# Pause keeps the position; play resumes without reopening.
web_set playstate PAUSE
wait_tag playstate PAUSE 3
sleep 0.5
p1=$(xml_get position)
sleep 1
assert_eq "$p1" "$(xml_get position)" "the position stands while paused"
opens=$(i2s_opens)
web_set playstate PLAYING
check "play resumes" wait_for 3 position_at_least $((p1 + 1))
assert_eq "$opens" "$(i2s_opens)" "resume does not reopen the device"

# A seek moves the position and is reset to 0.
web_set seek 15
wait_tag seek 0 3
check "the position follows the seek" wait_for 3 position_at_least 15
assert_contains "$(cat "$DORVU_LOG")" "seek pos 15000000,15,0" "seek target"

# <loop> 1 repeats the entry, then 2 follows the fixed random order.
web_set loop 1
check "loop 1 repeats b.flac" wait_for 12 rates_are "44100 22050 22050 "
web_set loop 2
next=$(python3 -c 'import ctypes; c = ctypes.CDLL("libc.so.6"); c.srand(1); print(c.rand() % 4)')
names=(a.mp3 b.flac "$LONG_C" d.opus)
rates=(44100 22050 32000 48000)
wait_tag url "$D/${names[$next]}" 12 "loop 2 from entry 1 leads to entry $next"
check "loop 2 opened entry $next" wait_for 3 rates_are "44100 22050 22050 ${rates[$next]} "

# A song with a long name picked by URL: its path and title are published,
# and the poll goes on following the file while it plays.
web_set loop 0 url "$D/$LONG_C"
wait_tag songname "$LONG_C" 5 "the long-named song picked by URL"
check "it opened" wait_for 5 rates_are "44100 22050 22050 ${rates[$next]} 32000 "
check "its position is published" wait_for 3 position_at_least 2
web_set volume 30
check "a volume change is still sent" wait_for 3 i2s_has "VOLUME 55"
assert_eq "$D/$LONG_C" "$(xml_get url)" "<url> holds the long path"

stop_dorvu
assert_status 1 "$DORVU_STATUS" "status after SIGTERM while playing"
assert_eq STOPPED "$(xml_get playstate)" "SIGTERM while playing leaves STOPPED"
assert_contains "$(cat /box/out/drop_caches 2>/dev/null)" 3 "a stop dropped the caches"
