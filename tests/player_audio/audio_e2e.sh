# dorvu in the box with the I2S stand-in preloaded: what the device receives
# from a real daemon, volume changes from the play-state file, and a device
# that will not open.
source "$BOX_SRC/tests/e2e/lib.sh"
box_need dorvu
box_workdir
standin="$BOX_BUILD/lib/libi2s_standin.so"
check "the I2S stand-in was built" test -f "$standin"

mkdir -p "$BOX_WORK/disk" "$BOX_WORK/config" "$BOX_WORK/out" "$BOX_WORK/out2"
ffmpeg -nostdin -v error -f lavfi -i 'aevalsrc=0.6*sin(440*2*PI*t)|0.4*sin(660*2*PI*t):s=44100:d=5' \
    -c:a flac -sample_fmt s16 "$BOX_WORK/disk/song.flac"
check "fixture made" test -s "$BOX_WORK/disk/song.flac"

run_inside() { # out-dir scenario
    boxrun --disk "$BOX_WORK/disk" --config "$BOX_WORK/config" --out "$1" \
        --env BOX_SRC="$BOX_SRC" --env BOX_BIN="$BOX_BIN" --env STANDIN="$standin" \
        -- bash "$BOX_SRC/tests/player_audio/audio_inside.sh" "$2"
}

run_inside "$BOX_WORK/out" play
assert_status 0 $? "checks inside the box (play)"
journal=$(cat "$BOX_WORK/out/i2s/journal")
assert_eq $'open pcm-1.wav\nFREQ 44100\nFORMAT 16\nCHANNEL 2\nVOLUME 65\nMUTE 0' \
    "$(head -n 6 <<<"$journal")" "song start: rate, format, channels, volume 50 as 65, unmute"
assert_eq $'VOLUME 80\nVOLUME 0\nVOLUME 100' "$(sed -n '7,9p' <<<"$journal")" \
    "volume 75, 0 and 100 during playback"
assert_eq "MUTE 1" "$(tail -n 2 <<<"$journal" | head -n 1)" "muted before the close"
ffmpeg -nostdin -v error -i "$BOX_WORK/disk/song.flac" -f s16le "$BOX_WORK/want.pcm"
tail -c +45 "$BOX_WORK/out/i2s/pcm-1.wav" >"$BOX_WORK/got.pcm"
assert_file_eq "$BOX_WORK/want.pcm" "$BOX_WORK/got.pcm" "the PCM is what the ffmpeg command decodes"
assert_eq "close pcm-1.wav $(stat -c %s "$BOX_WORK/want.pcm")" "$(tail -n 1 <<<"$journal")" "closed after the whole song"

run_inside "$BOX_WORK/out2" no-device
assert_status 0 $? "checks inside the box (no device)"
assert_eq $'open failed\nopen failed' "$(cat "$BOX_WORK/out2/i2s/journal")" "two opens, nothing else"
