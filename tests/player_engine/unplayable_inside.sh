# Inside the box: a list that mixes good songs with files that give nothing
# to play, played by a daemon held to a memory the box could afford and
# started with a file of zeros in <url>.
source "$BOX_SRC/tests/e2e/lib.sh"
source "$BOX_SRC/tests/player_frame/dorvu_box.sh"
source "$BOX_SRC/tests/player_engine/engine_lib.sh"
D=/tmp/mnt/sda1

# Sparse: reading them costs the daemon, not the test machine.
truncate -s 16M "$D/zeros16.mp3"
truncate -s 256M "$D/zeros256.mp3"
playusb_default "$D/zeros256.mp3" 50 0 >"$PLAYUSB"
# 48 MB of data, with thread stacks of 1 MB (the PC's default of 8 MB each
# would count against it).
# shellcheck disable=SC2086
(ulimit -s 1024 && ulimit -d $((48 * 1024)) && exec env ${DORVU_ENV:-} dorvu --log) >"$DORVU_LOG" 2>&1 &
DORVU_PID=$!

# Rates of the device's openings that took at least 2 s of audio: the good
# songs (the random bytes that happen to open hold far less).
played() {
    awk '/^FREQ / { f = $2 } /^CHANNEL / { c = $2 }
         /^close / { if (f * c > 0 && $3 >= 2 * f * c * 2) printf "%s ", f }' "$I2S_JOURNAL" 2>/dev/null
}
played_begins() { [[ "$(played)" == "$1"* ]]; }
played_ends() { [[ "$(played)" == *"$1" ]]; }

check "started on zeros, every good song played, in order" wait_for 60 played_begins "44100 22050 32000 "
check "the daemon lived through it" kill -0 "$DORVU_PID"

# The disk gives no song any more: one whole pass, then "STOPPED", and no
# more tries.
mv "$D/g2.flac" /tmp/g2.flac
rm "$D/g1.mp3" "$D/g3.wav"
check "a whole pass without a song" wait_for 40 grep -q "no song to play in 17 entries" "$DORVU_LOG"
tries=$(grep -c "error when av_init" "$DORVU_LOG")
sleep 2
assert_eq "$tries" "$(grep -c "error when av_init" "$DORVU_LOG")" "nothing is tried after the pass"
assert_eq STOPPED "$(xml_get playstate)" "the file still says STOPPED"

# The web interface's PLAYING starts a new pass, which finds the song back.
before=$(played)
mv /tmp/g2.flac "$D/g2.flac"
web_set playstate PLAYING
check "PLAYING after the pass plays the song found again" wait_for 40 played_ends "$before""22050 "
check "the daemon is still there" kill -0 "$DORVU_PID"
stop_dorvu
assert_status 1 "$DORVU_STATUS"
