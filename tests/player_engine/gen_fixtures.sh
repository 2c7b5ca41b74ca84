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
#   unplayable  three 3-second mono songs (g1.mp3 44100 Hz, g2.flac 22050 Hz,
#             g3.wav 32000 Hz) listed among files that give nothing to play:
#             zeros (made sparse inside the box: zeros16.mp3, zeros256.mp3),
#             an empty file, random bytes under each of the nine extensions,
#             an m4a cut before its index, an ID3 tag whose size lies
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
unplayable)
    gen g1.mp3 3 44100 1
    gen g2.flac 3 22050 1
    gen g3.wav 3 32000 1
    : >"$dir/empty.flac"
    for e in mp3 mp2 flac wma aac wav m4a ac3 ape; do
        python3 -c "import random, sys; r = random.Random('$e')
sys.stdout.buffer.write(bytes(r.getrandbits(8) for _ in range(65536)))" >"$dir/random.$e"
    done
    ffmpeg -loglevel error -nostdin -y -f lavfi -i "sine=frequency=440:duration=8" -c:a aac "$dir/whole.m4a"
    head -c "$(($(stat -c %s "$dir/whole.m4a") / 2))" "$dir/whole.m4a" >"$dir/cut.m4a"
    rm "$dir/whole.m4a"
    # A syncsafe size of 256 MB before a real song.
    { printf 'ID3\003\000\000\177\177\177\177'; cat "$dir/g1.mp3"; } >"$dir/lying_id3.mp3"
    list=""
    for f in zeros256.mp3 empty.flac g1.mp3 random.mp3 random.mp2 zeros16.mp3 random.flac g2.flac \
        random.wma random.aac random.wav cut.m4a lying_id3.mp3 g3.wav random.m4a random.ac3 random.ape; do
        list+=$(plain "$f")
    done
    finish "$list"
    ;;
esac
