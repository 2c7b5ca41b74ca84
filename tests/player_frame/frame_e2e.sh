# dorvu's command line, and its frame in the box sandbox (no disk).
source "$BOX_SRC/tests/e2e/lib.sh"
box_need dorvu
box_workdir

help=$("$BOX_BIN/dorvu" --log --help; echo "status=$?")
assert_eq $'Command format : dorvu [option]\n--help : display command help.\n--log : display log infomation!.\n\nstatus=0' "$help" "--log --help"
out=$("$BOX_BIN/dorvu" --bogus; echo "status=$?")
assert_eq "status=1" "$out" "unknown argument alone: silent, status 1"
out=$("$BOX_BIN/dorvu" --log --bogus --help; echo "status=$?")
assert_eq $'Invalid parament!\nstatus=1' "$out" "unknown argument after --log"

mkdir -p "$BOX_WORK/config" "$BOX_WORK/out"
boxrun --no-disk --config "$BOX_WORK/config" --out "$BOX_WORK/out" \
    --env BOX_SRC="$BOX_SRC" --env BOX_BIN="$BOX_BIN" \
    -- bash "$BOX_SRC/tests/player_frame/frame_inside.sh"
assert_status 0 $? "checks inside the box"
