#!/usr/bin/env bash
# Inside the box for ape_album.sh: the scan, then dorvu twice. First in real
# time (the play-state poll sped up four times) while the web interface
# picks the album's second track; then with a device that takes every write at once, so the decoder
# is always behind it, as on a CPU too slow for the file's level.
source "$BOX_SRC/tests/e2e/lib.sh"
source "$BOX_SRC/tests/player_frame/dorvu_box.sh"
D=/tmp/mnt/sda1
J=/box/out/i2s/journal
preload=LD_PRELOAD=$TREE/lib/libi2s_standin.so:$TREE/lib/libtimewarp.so

udisk_scan
assert_status 1 $? "udisk_scan wrote a new list"
cp "$D/.udisklist" /box/out/list

DORVU_ENV="$preload TIMEWARP=4 BOX_I2S_SPEED=1"
start_dorvu
wait_tag playstate PLAYING 30 "the list's first entry plays"
# The pick: the album's URL and the track's start in one edit. The daemon
# rewrites the whole file from what it last read, so an edit made as it
# writes can be lost; the web interface then sends it again.
picked() { grep -q "^enter updatenumbyposition" "$DORVU_LOG"; }
for _ in 1 2 3 4 5; do
    web_set url "$D/album.ape" startposition 7
    wait_for 5 picked && break
done
wait_tag songname "Two & Co" 10 "the picked track's title is published"
# The position must move while the track plays: a packet of the album holds
# 6.7 s of audio, and the daemon must not sit on one while it is played.
positions=()
while tag_is songname "Two & Co"; do
    positions+=("$(xml_get position)")
    sleep 0.05
done
seen=$(printf '%s\n' "${positions[@]}" | grep -x '[0-9][0-9]*' | sort -un)
check "the play-state file follows the track second by second (seen: $(echo $seen))" \
    test "$(echo "$seen" | wc -l)" -ge 3
wait_tag songname "Tr$(printf '\xc3\xaa')s" 10 "then the next track"
# The track past the end: nothing to play, the list goes on.
wait_tag songname Bonus 60
check "the list goes on past the track beyond the file's end" wait_for 60 eval '! tag_is songname Bonus'
stop_dorvu
assert_status 1 "$DORVU_STATUS"
mv /box/out/i2s /box/out/i2s.album

# The device takes everything at once: the decoder is the bottleneck. <loop>
# 1 repeats the level-5 file (12 s in one packet of over a MB), so the
# song's end is no race with the web interface's edits.
DORVU_ENV="$preload TIMEWARP=4 BOX_I2S_SPEED=0"
playusb_default "$D/live.ape" 50 1 >"$PLAYUSB"
start_dorvu
full=$((12 * 44100 * 4))
closes() { cat "$J" 2>/dev/null | grep -c "^close pcm-[0-9]*\.wav $full\$"; }
check "the file the decoder cannot keep up with ends, whole, time after time" wait_for 120 eval '[ $(closes) -ge 2 ]'
web_set volume 20
check "a volume edit meanwhile reaches the device" wait_for 30 grep -qx 'VOLUME 50' "$J"
check "the position is published" wait_for 30 eval '[ "$(xml_get position)" -gt 0 ]'
web_set loop 0
check "with <loop> 0 the list goes on" wait_for 60 eval '! tag_is songname live.ape'
stop_dorvu
assert_status 1 "$DORVU_STATUS"
