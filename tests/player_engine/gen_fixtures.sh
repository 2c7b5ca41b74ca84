# gen_fixtures.sh DIR KIND: short generated songs and their list, made at
# test time (nothing binary is kept in the tree).
#   playlist  a.mp3 44100 Hz stereo, b.flac 22050 Hz mono, $LONG_C (c...wav)
#             32000 Hz stereo, d.opus 48000 Hz; a list of the four in this order
#   cue       long.flac (330 s, 8000 Hz mono) listed as a track at 120 s
#             with length 200, then as a track at 1 s with length 100,
#             then short.wav
#   nolist    a.mp3 only, no list
#   twosec    one.wav (5 s, 16000 Hz), then 2-second songs two.flac 22050 Hz,
#             three.wav 32000 Hz, four.flac 44100 Hz, five.wav 48000 Hz; a list
#             of the five in this order
set -eu
source "$(dirname "$0")/engine_lib.sh"
dir=$1
kind=$2
mkdir -p "$dir"
gen() { # file seconds rate channels
    ffmpeg -loglevel error -nostdin -y -f lavfi -i "sine=frequency=440:duration=$2:sample_rate=$3" \
        -ac "$4" "$dir/$1"
}
entry() { # url title startpos length
    printf '{"url":"%s","title":"%s","type":2,"total":0,"startpos":%d,"length":%d},' "$1" "$2" "$3" "$4"
}
plain() { # name
    printf '{"url":"/tmp/mnt/sda1/%s","title":"%s","type":2,"startpos":0,"length":0},' "$1" "$1"
}
finish() { # entries text -> list without its last comma
    printf '{"Playlist":[%s]}' "${1%,}" >"$dir/.udisklist"
}
case $kind in
playlist)
    gen a.mp3 12 44100 2
    gen b.flac 20 22050 1
    gen "$LONG_C" 12 32000 2
    gen d.opus 12 48000 1
    finish "$(plain a.mp3)$(plain b.flac)$(plain "$LONG_C")$(plain d.opus)"
    ;;
cue)
    gen long.flac 330 8000 1
    gen short.wav 3 16000 1
    finish "$(entry /tmp/mnt/sda1/long.flac "Track 2" 120 200)$(entry /tmp/mnt/sda1/long.flac "Track 1" 1 100)$(plain short.wav)"
    ;;
nolist)
    gen a.mp3 3 44100 2
    ;;
twosec)
    gen one.wav 5 16000 1
    gen two.flac 2 22050 1
    gen three.wav 2 32000 1
    gen four.flac 2 44100 1
    gen five.wav 2 48000 1
    finish "$(plain one.wav)$(plain two.flac)$(plain three.wav)$(plain four.flac)$(plain five.wav)"
    ;;
esac
