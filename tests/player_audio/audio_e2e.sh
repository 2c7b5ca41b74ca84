# dorvu in the box with the I2S stand-in preloaded: what the device receives
# from the real daemon (the device failing to open is a unit test).
source "$BOX_SRC/tests/e2e/lib.sh"
box_need dorvu
box_workdir
standin="$BOX_BUILD/lib/libi2s_standin.so"
check "the I2S stand-in was built" test -f "$standin"

mkdir -p "$BOX_WORK/disk" "$BOX_WORK/config" "$BOX_WORK/out"
song="$BOX_WORK/disk/song.flac"
ffmpeg -nostdin -v error -f lavfi -i 'aevalsrc=0.6*sin(440*2*PI*t)|0.4*sin(660*2*PI*t):s=44100:d=6' \
    -c:a flac -sample_fmt s16 "$song"
ffmpeg -nostdin -v error -i "$song" -f s16le "$BOX_WORK/want.pcm"

boxrun --disk "$BOX_WORK/disk" --config "$BOX_WORK/config" --out "$BOX_WORK/out" \
    --env BOX_SRC="$BOX_SRC" --env BOX_BIN="$BOX_BIN" --env STANDIN="$standin" \
    -- bash "$BOX_SRC/tests/player_audio/audio_inside.sh"
assert_status 0 $? "checks inside the box"
assert_eq $'open pcm-1.wav\nFREQ 44100\nFORMAT 16\nCHANNEL 2\nVOLUME 65\nMUTE 0\nVOLUME 80\nMUTE 1'"
close pcm-1.wav $(stat -c %s "$BOX_WORK/want.pcm")" "$(cat "$BOX_WORK/out/i2s/journal")" "the device's journal"
tail -c +45 "$BOX_WORK/out/i2s/pcm-1.wav" >"$BOX_WORK/got.pcm"
assert_file_eq "$BOX_WORK/want.pcm" "$BOX_WORK/got.pcm" "the PCM is what the ffmpeg command decodes"

