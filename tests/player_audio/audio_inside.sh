# Inside the box for audio_e2e.sh: $1 is the scenario.
source "$BOX_SRC/tests/e2e/lib.sh"
source "$BOX_SRC/tests/player_frame/dorvu_box.sh"

I2S_JOURNAL=/box/out/i2s/journal
journal_has() { grep -qx -- "$1" "$I2S_JOURNAL" 2>/dev/null; }

playusb_default /tmp/mnt/sda1/song.flac 50 0 >"$PLAYUSB"
case "$1" in
play)
    DORVU_ENV="LD_PRELOAD=$STANDIN BOX_I2S_SPEED=1"
    start_dorvu
    check "the device is configured" wait_for 5 journal_has "MUTE 0"
    web_set volume 75
    check "volume 75 is sent as 80" wait_for 5 journal_has "VOLUME 80"
    web_set volume 0
    check "volume 0 is sent as 0" wait_for 5 journal_has "VOLUME 0"
    web_set volume 100
    check "volume 100 is sent as 100" wait_for 5 journal_has "VOLUME 100"
    check "the song plays to its end" wait_for 12 grep -q '^close ' "$I2S_JOURNAL"
    wait_tag playstate STOPPED 3 "a single song ends stopped"
    stop_dorvu
    ;;
no-device)
    DORVU_ENV="LD_PRELOAD=$STANDIN BOX_I2S_FAIL_OPEN=2"
    t0=${EPOCHREALTIME/./}
    start_dorvu
    wait "$DORVU_PID"
    status=$?
    ms=$(((${EPOCHREALTIME/./} - t0) / 1000))
    assert_status 1 "$status" "the daemon ends with status 1"
    assert_contains "$(cat "$DORVU_LOG")" "can't open sound device" "the message"
    check "a second try about 4 s after the first ($ms ms)" test "$ms" -ge 4000 -a "$ms" -le 9000
    ;;
esac
