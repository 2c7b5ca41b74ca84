# wifi_survey in the box: the wireless stand-in on wlan1, the uci stand-in,
# the box's stand-in daemons, sped up with the time stand-in.
source "$BOX_SRC/tests/e2e/lib.sh"
box_need wifi_survey
box_need uci
box_workdir

mkdir -p "$BOX_WORK/out"
boxrun --out "$BOX_WORK/out" \
    --env BOX_SRC="$BOX_SRC" --env BOX_BIN="$BOX_BIN" --env BOX_BUILD="$BOX_BUILD" \
    -- bash "$BOX_SRC/tests/wifi_survey_client/survey_inside.sh"
assert_status 0 $? "checks inside the box"
