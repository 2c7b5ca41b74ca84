#!/usr/bin/env bash
# The list writer, the staleness check, the CUE parser and the play-state file
# give the same bytes on the box's CPU as on the PC.
source "$BOX_SRC/tests/e2e/lib.sh"
source "$BOX_SRC/tests/cross/cross_lib.sh"
cross_need cross_list cross_cue cross_playstate

box_workdir
w=$BOX_WORK
d=$w/disk
mkdir -p "$d"
# Names that need escaping, several bytes per character, odd sizes; an APE
# with its sheet (one entry per track) and one without; a file not listed.
for n in 'plain.mp3' 'Ünïcødé – 歌.flac' 'quote"back\slash.wav' $'tab\there.m4a' \
         'UPPER.MP2' 'x.wma' 'album.ape' 'lone.ape' 'notes.txt'; do
    head -c $(( (${#n} * 977) % 5000 + 1234 )) /dev/urandom >"$d/$n"
done
cp "$BOX_SRC/tests/scanner/cue_corpus/album.cue" "$d/album.cue"

# The scanner's whole run in the box on a copy of the disk (with LIST, when
# given, as its old list): prints the exit status and leaves the list in
# $w/out/list.
scan() { # cross_list-command disk-dir [old-list]
    rm -rf "$w/disk.run" "$w/out/list"
    cp -r "$2" "$w/disk.run"
    [ -z "${3:-}" ] || cp "$3" "$w/disk.run/.udisklist"
    boxrun --disk "$w/disk.run" --out "$w/out" --share "$BOX_PC_BUILD" --share "$BOX_CROSS_BUILD" \
        -- sh -c "$1; echo \$?; cp /tmp/mnt/sda1/.udisklist /box/out/list 2>/dev/null"
}
pc_scan() { scan "$BOX_PC_BUILD/tests/cross/cross_list" "$@"; }
box_scan() { scan "$BOX_EMULATOR $BOX_CROSS_BUILD/tests/cross/cross_list" "$@"; }
mkdir -p "$w/out"

assert_eq 1 "$(pc_scan "$d")" "PC list written"
mv "$w/out/list" "$w/list.pc"
assert_eq 1 "$(box_scan "$d")" "box list written"
same_bytes "disk list" "$w/list.pc" "$w/out/list"
check "the list has the sheet's tracks" grep -q '"title":"Two"' "$w/list.pc"

# The staleness check (on a disk without the sheet: its tracks outnumber the
# files, so such a list is always rebuilt).
rm "$d"/album.*
pc_scan "$d" >/dev/null
mv "$w/out/list" "$w/list.pc"
assert_eq "2 2" "$(pc_scan "$d" "$w/list.pc") $(box_scan "$d" "$w/list.pc")" \
    "the PC's list is current on both"
touch "$d/new.aac"
assert_eq 1 "$(box_scan "$d" "$w/list.pc")" "a new file makes the list stale on the box"
mv "$w/out/list" "$w/list.box"
assert_eq 1 "$(pc_scan "$d" "$w/list.pc")" "and on the PC"
same_bytes "rewritten list" "$w/out/list" "$w/list.box"

# Sheets: the starting corpus of the parser's fuzz target plus edge values
# that only fit the fields' widths (track numbers, index times).
mkdir -p "$w/cue"
cp "$BOX_SRC"/tests/scanner/cue_corpus/* "$w/cue/"
printf 'FILE "a.ape" WAVE\r\n  TRACK 65535 AUDIO\r\n    INDEX 01 99:59:74\r\n  TRACK 300 AUDIO\r\n    INDEX 00 00:00:01\r\n    INDEX 255 59:00:00\r\n' >"$w/cue/wide.cue"
printf 'TITLE "%s"\nFILE "b.ape" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n' "$(head -c 3000 /dev/zero | tr '\0' t)" >"$w/cue/longtitle.cue"
pc cross_cue "$w"/cue/*.cue >"$w/cue.pc"
box cross_cue "$w"/cue/*.cue >"$w/cue.box"
check "sheets parsed on the PC" grep -q '^track 65535' "$w/cue.pc"
same_bytes "CUE parser output" "$w/cue.pc" "$w/cue.box"

# The play-state file: written on each CPU from the same document, read back
# on the other.
doc='<?xml version="1.0"?>
<root>
<url></url><position>0</position><length>0</length><playstate>STOPPED</playstate>
<volume>50</volume><seek>0</seek><startposition>0</startposition><songname></songname><loop>0</loop>
</root>
'
printf '%s' "$doc" >"$w/ps.pc"
printf '%s' "$doc" >"$w/ps.box"
pc cross_playstate write "$w/ps.pc"
assert_status 0 $? "play state written on the PC"
box cross_playstate write "$w/ps.box"
assert_status 0 $? "play state written on the box"
same_bytes "play-state file" "$w/ps.pc" "$w/ps.box"
read_pc=$(pc cross_playstate read "$w/ps.box")
assert_contains "$read_pc" "length=4294967" "the box's file read on the PC"
assert_eq "$(pc cross_playstate read "$w/ps.pc")" "$read_pc" "the box's file reads as the PC's"
assert_eq "$read_pc" "$(box cross_playstate read "$w/ps.pc")" "the PC's file reads the same on the box"
