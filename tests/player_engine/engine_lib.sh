# Helpers for the engine's box scripts: the I2S stand-in's journal and WAVs.

I2S_JOURNAL=/box/out/i2s/journal
# The third song of the playlist disk: a name long enough that its path
# (about 170 bytes) is longer than the file's values were once allowed to be.
LONG_C="c_$(printf 'long%.0s' {1..38}).wav"

# Sample rates of the openings so far, one per line: which songs played.
i2s_rates() { sed -n 's/^FREQ \([0-9]*\)$/\1/p' "$I2S_JOURNAL" 2>/dev/null; }
i2s_opens() { cat "$I2S_JOURNAL" 2>/dev/null | grep -c '^open pcm'; }
i2s_has() { grep -qx "$1" "$I2S_JOURNAL" 2>/dev/null; }
# Bytes of PCM of each closed WAV file, in order, from the close lines.
i2s_closed_bytes() { sed -n 's/^close pcm-[0-9]*\.wav \([0-9]*\)$/\1/p' "$I2S_JOURNAL" 2>/dev/null; }
# Seconds (at $1 bytes a second) of the closed WAVs that hold at least one.
i2s_played_secs() {
    local b
    for b in $(i2s_closed_bytes); do
        [ "$b" -ge "$1" ] && echo $((b / $1))
    done
}

position_at_least() { local p; p=$(xml_get position); [ -n "$p" ] && [ "$p" -ge "$1" ]; }
rates_are() { [ "$(i2s_rates | tr '\n' ' ')" == "$1" ]; }
