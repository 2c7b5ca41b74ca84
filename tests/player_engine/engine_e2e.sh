# dorvu playing generated songs in the box sandbox, with the I2S stand-in
# and the time stand-in (both sped up).
source "$BOX_SRC/tests/e2e/lib.sh"
box_need dorvu
box_workdir
here="$BOX_SRC/tests/player_engine"
for lib in libi2s_standin.so libtimewarp.so; do
    [ -f "$BOX_BUILD/lib/$lib" ] || { fail "$BOX_BUILD/lib/$lib was not built"; exit 1; }
done

run_case() { # name disk-kind speed
    local w="$BOX_WORK/$1"
    local dorvu_env="LD_PRELOAD=$BOX_BUILD/lib/libi2s_standin.so:$BOX_BUILD/lib/libtimewarp.so TIMEWARP=$3 BOX_I2S_SPEED=$3"
    mkdir -p "$w/config" "$w/out"
    bash "$here/gen_fixtures.sh" "$w/disk" "$2" || { fail "fixtures for $1"; return; }
    boxrun --disk "$w/disk" --config "$w/config" --out "$w/out" \
        --env BOX_SRC="$BOX_SRC" --env BOX_BIN="$BOX_BIN" --env DORVU_ENV="$dorvu_env" \
        -- bash "$here/$1_inside.sh"
    local rc=$?
    assert_status 0 $rc "checks inside the box ($1)"
    if [ $rc -ne 0 ]; then
        echo "--- dorvu log of $1 (tail) ---" >&2
        tail -n ${DORVU_LOG_LINES:-40} "$w/out/dorvu.log" >&2
        echo "--- I2S journal of $1 ---" >&2
        cat "$w/out/i2s/journal" >&2
    fi
}

# One case alone: engine_e2e.sh playlist|cue|nolist|unplayable; "edits" (in real time,
# about 80 s) is a test of its own.
case ${1:-all} in
playlist|all) run_case playlist playlist 4 ;;&
cue|all) run_case cue cue 50 ;;&
nolist|all) run_case nolist nolist 4 ;;&
unplayable|all) run_case unplayable unplayable 4 ;;
edits) run_case edits twosec 1 ;;
esac
