#!/usr/bin/env bash
# udisk_scan in the box sandbox, on a disk mounted at /tmp/mnt/sda1: the
# exact list text, its result codes over a run of changes, CUE expansion,
# awkward names read back as the player reads them, no disk, no music.
source "$BOX_SRC/tests/e2e/lib.sh"
box_need udisk_scan
dump=$BOX_BUILD/tests/scanner/list_dump
rss=$BOX_BUILD/tests/scanner/peak_rss
for tool in "$dump" "$rss"; do [ -x "$tool" ] || { fail "$tool was not built"; exit 1; }; done
box_workdir

# Shell helpers for the scripts run inside: scan records the exit status
# (and anything printed), keep N saves the list as list.N.
inside='D=/tmp/mnt/sda1; O=/box/out
scan() { udisk_scan >>$O/printed 2>&1; echo $? >>$O/rc; }
keep() { [ -f $D/.udisklist ] && cp $D/.udisklist $O/list.$1; true; }
tscan() { timeout 5 udisk_scan >>$O/printed 2>&1; echo $? >>$O/rc; }
'

# in_box CASE [BOXRUN-OPTIONS...] -- SCRIPT: SCRIPT on a copy of $BOX_WORK/CASE.
in_box() {
    local name=$1
    shift
    local opts=()
    while [ "$1" != "--" ]; do opts+=("$1"); shift; done
    out=$BOX_WORK/$name.out
    mkdir -p "$out"
    [ -d "$BOX_WORK/$name" ] && opts+=(--disk "$BOX_WORK/$name")
    boxrun "${opts[@]}" --out "$out" -- sh -c "$inside$2" >"$out/box.log" 2>&1
    assert_status 0 $? "$name: the box script ran"
    assert_eq "" "$(cat "$out/printed" 2>/dev/null)" "$name: udisk_scan prints nothing"
}
statuses() { tr '\n' ' ' <"$out/rc"; }
plain() { printf '{"url":"/tmp/mnt/sda1/%s","title":"%s","type":2,"startpos":0,"length":0}' "$1" "$1"; }

# A disk of two music files, then one change after another.
mkdir -p "$BOX_WORK/two"
touch "$BOX_WORK/two/a.mp3" "$BOX_WORK/two/b.flac" "$BOX_WORK/two/README"
in_box two -- '
scan; keep 1; find $D -maxdepth 1 -type f -name "*.*" >$O/order
ls -i $D/.udisklist >$O/inode.1
scan; keep 2; ls -i $D/.udisklist >$O/inode.2
touch $D/c.AAC; scan; scan; keep 3
rm $D/a.mp3; scan; keep 4
mv $D/b.flac $D/d.flac; scan; keep 5
mkdir -p /tmp/mnt/sdb1 && mount --bind $D /tmp/mnt/sdb1 && umount $D
D=/tmp/mnt/sdb1; scan; keep 6; scan
ls -a $D >$O/files'
assert_eq "1 2 1 2 1 1 1 2 " "$(statuses)" "two: results over the changes"
want='{"Playlist":['
sep=""
while read -r path; do
    name=${path##*/}
    [ "$name" = .udisklist ] && continue
    want+="$sep$(plain "$name")"
    sep=","
done <"$out/order"
want+="]}"
assert_file_text "$out/list.1" "$want" "two: the exact list text"
assert_file_eq "$out/list.1" "$out/list.2" "two: an unchanged disk keeps its list byte for byte"
assert_eq "$(cat "$out/inode.1")" "$(cat "$out/inode.2")" "two: the current list was not rewritten"
assert_contains "$(cat "$out/list.3")" '"url":"/tmp/mnt/sda1/c.AAC"' "two: an added file is listed"
assert_not_contains "$(cat "$out/list.4")" 'a.mp3' "two: a removed file is gone"
assert_contains "$(cat "$out/list.5")" '"title":"d.flac"' "two: a renamed file is listed anew"
assert_contains "$(cat "$out/list.6")" '"url":"/tmp/mnt/sdb1/d.flac"' "two: another mount point"
assert_not_contains "$(cat "$out/files")" '.udisklist.' "two: no temporary file is left"

# No disk: 255, and no list anywhere.
in_box nodisk --no-disk -- 'scan; find /tmp -name ".udisklist*" >$O/found'
assert_eq "255 " "$(statuses)" "nodisk: result"
assert_eq "" "$(cat "$out/found")" "nodisk: nothing written"

# No music: an old list is removed; a directory or a link named like music is no music.
mkdir -p "$BOX_WORK/nomusic/x.mp3"
touch "$BOX_WORK/nomusic/README" "$BOX_WORK/nomusic/a.mp3.txt" "$BOX_WORK/nomusic/a."
ln -s README "$BOX_WORK/nomusic/l.mp3"
printf '{"Playlist":[]}' >"$BOX_WORK/nomusic/.udisklist"
in_box nomusic -- 'scan; scan; ls -a $D >$O/files'
assert_eq "0 0 " "$(statuses)" "nomusic: results"
assert_not_contains "$(cat "$out/files")" '.udisklist' "nomusic: the old list was removed"

# A file named .mp3 is listed but never counted.
mkdir -p "$BOX_WORK/dot"
touch "$BOX_WORK/dot/.mp3"
in_box dot -- 'scan; touch $D/a.mp3; scan; scan; keep 1'
assert_eq "0 1 1 " "$(statuses)" "dot: results"
assert_contains "$(cat "$out/list.1")" "$(plain .mp3)" "dot: .mp3 is listed"

# A Monkey's Audio file of 600.9 s with a sheet of three tracks.
mkdir -p "$BOX_WORK/ape"
ffmpeg -loglevel error -f lavfi -i anullsrc=r=8000:cl=mono -t 600.9 -c:a pcm_s16le "$BOX_WORK/album.wav"
"$BOX_SRC/tests/support/make_ape.sh" 1 "$BOX_WORK/album.wav" "$BOX_WORK/ape/album.ape" || fail "ape: no APE file"
printf 'REM DATE 1999\r\nPERFORMER "Band"\r\nTITLE "Album"\r\nFILE "album.ape" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE "One"\r\n    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n    TITLE "Two"\r\n    INDEX 01 04:10:30\r\n  TRACK 03 AUDIO\r\n    TITLE "Three"\r\n    INDEX 01 08:00:00\r\n' \
    >"$BOX_WORK/ape/album.cue"
in_box ape -- 'scan; keep 1; scan'
track() { printf '{"url":"/tmp/mnt/sda1/album.ape","title":"%s","type":2,"total":0,"startpos":%d,"length":%d}' "$@"; }
assert_eq "1 1 " "$(statuses)" "ape: results (tracks outnumber files, so every run rebuilds)"
assert_file_text "$out/list.1" "{\"Playlist\":[$(track One 1 246),$(track Two 250 226),$(track Three 480 116)]}" \
    "ape: one entry per track"

# An album whose file is one second of a song and then zeros (sparse) to
# 16 MB and to 256 MB: FFmpeg's parser would hold all the zeros while it
# looks for the next frame. The probe's peak memory stays near that of the
# good album above, and does not grow with the file.
mkdir -p "$BOX_WORK/zeros"
cp "$BOX_WORK/ape/album.ape" "$BOX_WORK/ape/album.cue" "$BOX_WORK/zeros/"
ffmpeg -loglevel error -f lavfi -i sine=r=44100 -t 1 -c:a libmp3lame -f mp3 "$BOX_WORK/zeros/song.bin"
in_box zeros -- "
$rss udisk_scan >\$O/rss.good; echo \$? >>\$O/rc
for mb in 16 256; do cp \$D/song.bin \$D/album.ape; truncate -s \${mb}M \$D/album.ape
    $rss udisk_scan >\$O/rss.\$mb; echo \$? >>\$O/rc; done
keep 1; (ulimit -d 48000; scan); keep 2"
good=$(cat "$out/rss.good") z16=$(cat "$out/rss.16") z256=$(cat "$out/rss.256")
assert_eq "1 1 1 1 " "$(statuses)" "zeros: each scan writes the list"
assert_file_eq "$out/list.1" "$out/list.2" "zeros: the same list within 48 MB of data (ulimit -d)"
check "zeros: peak memory $z16 KiB at 16 MB, $z256 KiB at 256 MB (within 1 MiB)" test $((z256 - z16)) -lt 1024
check "zeros: peak memory $z256 KiB against $good KiB for the good album (within 4 MiB)" test $((z256 - good)) -lt 4096

# Awkward names come back unchanged through the player's parser, and an
# unchanged disk of them is still current.
mkdir -p "$BOX_WORK/names"
long=$(printf '\xe4\xb8\xad%.0s' $(seq 83))
names=('say "hi".mp3' 'back\slash.flac' "$long.mp3" 'Ünïcödé ♪.m4a' '{"url":"x"},.wav')
for n in "${names[@]}"; do touch "$BOX_WORK/names/$n"; done
in_box names -- 'scan; keep 1; scan'
assert_eq "1 2 " "$(statuses)" "names: written, then current"
want=$(for n in "${names[@]}"; do printf '/tmp/mnt/sda1/%s\t%s\t0\t0\n' "$n" "$n"; done | sort)
assert_eq "$want" "$("$dump" "$out/list.1" | sort)" "names: each path and name read back exactly"

# A FIFO where the list or a sheet would be read blocks nothing: it counts
# as no list (the new list takes its name) and as no sheet.
mkdir -p "$BOX_WORK/fifo"
touch "$BOX_WORK/fifo/album.ape" "$BOX_WORK/fifo/b.mp3"
in_box fifo -- '
mkfifo $D/.udisklist $D/album.cue; tscan; keep 1; tscan
rm $D/.udisklist; mkfifo $D/.udisklist; rm $D/album.ape $D/b.mp3; tscan
[ -p $D/.udisklist ] && echo fifo >$O/kept'
assert_eq "1 2 0 " "$(statuses)" "fifo: written, current, no music (never blocked)"
assert_contains "$(cat "$out/list.1")" "$(plain album.ape)" "fifo: the APE file with a FIFO for a sheet is listed plain"
assert_eq "fifo" "$(cat "$out/kept" 2>/dev/null)" "fifo: a FIFO is never removed as a list"

# An old list far larger than memory is stale, not fatal: rebuilt, also
# under a tight address space limit.
mkdir -p "$BOX_WORK/huge"
touch "$BOX_WORK/huge/a.mp3"
in_box huge -- '
truncate -s 100G $D/.udisklist; scan; keep 1
truncate -s 100M $D/.udisklist; (ulimit -v 250000; scan); keep 2'
assert_eq "1 1 " "$(statuses)" "huge: rebuilt both times"
assert_file_text "$out/list.2" "{\"Playlist\":[$(plain a.mp3)]}" "huge: the new list"

# A rebuild writes entries as it makes them: its peak memory does not grow
# with the number of files (20 against 20,000).
mkdir -p "$BOX_WORK/many"
in_box many -- "
i=0; while [ \$i -lt 20000 ]; do i=\$((i + 1)); : >\"\$D/Artist name - Song title number \$i.mp3\"
[ \$i = 20 ] && $rss udisk_scan >\$O/rss.20; done
rm \$D/.udisklist; $rss udisk_scan >\$O/rss.20000; echo \$? >\$O/rc"
small=$(cat "$out/rss.20") big=$(cat "$out/rss.20000")
assert_eq "1 " "$(statuses)" "many: written"
check "many: peak memory $small KiB for 20 files, $big KiB for 20,000 (within 1 MiB)" \
    test $((big - small)) -lt 1024

# Faults while a stale list is rebuilt. Each directory read in turn fails
# (strace injects EIO into the Nth getdents call: the check's, the count's
# and the writer's walks, first read, middle and end), then every write, the
# fsync and the rename: each run ends with 0 and leaves the old list byte
# for byte. The first N past the last call injects nothing and rebuilds.
mkdir -p "$BOX_WORK/faults"
for i in $(seq 600); do
    : >"$BOX_WORK/faults/$(printf %04d "$i") A rather long artist name - a rather long song title, number $i.mp3"
done
in_box faults -- '
scan; cp $D/.udisklist $O/old; : >"$D/new song.mp3"; : >$O/rc
inject() { # calls when [strace options]: the disk'"'"'s reads alone with -P $D
    local set=$1 when=$2; shift 2
    strace -qq -o $O/trace "$@" -e trace="$set" -e inject="$set:error=EIO$when" udisk_scan; rc=$?
    [ $rc != 0 ] || cmp -s $D/.udisklist $O/old || echo "$set$when" >>$O/changed; }
for call in write fsync "?rename,renameat,renameat2"; do inject "$call" ""; echo $rc >>$O/rc; done
n=0; while [ $n -lt 60 ]; do n=$((n + 1)); inject "?getdents,getdents64" :when=$n -P $D; [ $rc = 0 ] || break; done
echo "$rc $((n - 1)) $(grep -c getdents $O/trace)" >$O/reads
keep 1; ls -a $D >$O/files'
assert_eq "0 0 0 " "$(statuses)" "faults: a failed write, fsync or rename gives 0"
read -r rc injected reads <"$out/reads"
assert_eq "1 $reads" "$rc $injected" "faults: every read of the rebuild failed once ($injected) before the one without a fault wrote the list"
check "faults: the reads span three walks of several reads each ($reads)" test "$reads" -ge 9
assert_eq "" "$(cat "$out/changed" 2>/dev/null)" "faults: the old list survives every fault"
assert_eq 601 "$("$dump" "$out/list.1" | wc -l)" "faults: then the whole new list"
assert_not_contains "$(cat "$out/files")" '.udisklist.' "faults: no temporary file is left"

# A full disk (a small tmpfs): the old list stays, result 0; with room
# again, the new list.
in_box full -- '
mount -t tmpfs -o size=64k tmpfs $D; touch $D/a.mp3 $D/b.mp3; scan; cp $D/.udisklist $O/old
touch $D/c.mp3; dd if=/dev/zero of=$D/fill bs=4096 2>/dev/null; scan
cmp -s $D/.udisklist $O/old && echo kept >$O/kept; ls -a $D >$O/files
rm $D/fill; scan; keep 1'
assert_eq "1 0 1 " "$(statuses)" "full: written, then 0 on the full disk, then written"
assert_eq "kept" "$(cat "$out/kept" 2>/dev/null)" "full: the old list kept byte for byte"
assert_not_contains "$(cat "$out/files")" '.udisklist.' "full: no temporary file is left"
assert_contains "$(cat "$out/list.1")" "$(plain c.mp3)" "full: the new list"
