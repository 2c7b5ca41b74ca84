#!/usr/bin/env bash
# make_ape.sh LEVEL IN.wav OUT.ape: a Monkey's Audio file at compression
# LEVEL 1 (fast, Monkey's 1000) to 5 (insane, 5000), made with Debian's
# encoder (libjmac-java; FFmpeg has none). IN.wav: 16-bit PCM.
# The encoder exits 0 whatever happens, leaves an empty file for a level it
# does not know and can spin on a cut WAV; so this checks the level, bounds
# the run and asks FFmpeg whether the result is an APE stream of the WAV's
# length.
set -uo pipefail
[ $# -eq 3 ] || { echo "usage: make_ape.sh LEVEL IN.wav OUT.ape" >&2; exit 2; }
level=$1 in=$2 out=$3
case $level in 1 | 2 | 3 | 4 | 5) ;; *) echo "make_ape: level $level is not 1 to 5" >&2; exit 2 ;; esac
jar=/usr/share/java/jmac.jar
[ -f "$jar" ] || { echo "make_ape: $jar missing (Debian packages libjmac-java default-jre-headless)" >&2; exit 1; }
rm -f "$out"
timeout 120 java -jar "$jar" "c$level" "$in" "$out" >/dev/null 2>"$out.err"
rc=$?
samples() { ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,duration_ts -of csv=p=0 "$1" 2>/dev/null; }
want=$(ffprobe -v error -select_streams a:0 -show_entries stream=duration_ts -of csv=p=0 "$in" 2>/dev/null)
got=$(samples "$out")
if [ $rc -ne 0 ] || [ "$got" != "ape,$want" ]; then
    echo "make_ape: level $level of $in failed (status $rc, got '$got', want 'ape,$want'):" >&2
    head -n 5 "$out.err" >&2
    rm -f "$out" "$out.err"
    exit 1
fi
rm -f "$out.err"
