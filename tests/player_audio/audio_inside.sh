# Inside the box for audio_e2e.sh: dorvu plays one song into the stand-in
# while the play-state file changes the volume.
source "$BOX_SRC/tests/e2e/lib.sh"
source "$BOX_SRC/tests/player_frame/dorvu_box.sh"

I2S_JOURNAL=/box/out/i2s/journal
journal_has() { grep -qx -- "$1" "$I2S_JOURNAL" 2>/dev/null; }

playusb_default /tmp/mnt/sda1/song.flac 50 0 >"$PLAYUSB"
DORVU_ENV="LD_PRELOAD=$STANDIN BOX_I2S_SPEED=1"
start_dorvu
check "the device is configured" wait_for 5 journal_has "MUTE 0"
web_set volume 75
check "volume 75 is sent as 80" wait_for 5 journal_has "VOLUME 80"
check "the song plays to its end" wait_for 15 grep -q '^close ' "$I2S_JOURNAL"
wait_tag playstate STOPPED 3 "a single song ends stopped"
stop_dorvu
