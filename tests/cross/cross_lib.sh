# Shared by the differential scripts: source after tests/e2e/lib.sh.
# pc TOOL ARGS... / box TOOL ARGS...: a tool of the PC tree, or the same tool
# of the cross tree under the emulator. Tools are looked up in tests/cross/
# and bin/ of each tree.
read -r -a _box_emulator <<<"${BOX_EMULATOR:-}"

_cross_tool() { # tree name
    local t
    for t in "$1/tests/cross/$2" "$1/bin/$2"; do
        [ -x "$t" ] && { echo "$t"; return 0; }
    done
    return 1
}

# cross_need NAME...: stops the script (as a failure) when a tool is missing
# from either tree.
cross_need() {
    local n
    for n in "$@"; do
        _cross_tool "$BOX_PC_BUILD" "$n" >/dev/null || { fail "$n not built in $BOX_PC_BUILD"; exit 1; }
        _cross_tool "$BOX_CROSS_BUILD" "$n" >/dev/null || { fail "$n not built in $BOX_CROSS_BUILD"; exit 1; }
    done
}

pc() { local t; t=$(_cross_tool "$BOX_PC_BUILD" "$1") && shift && "$t" "$@"; }
box() { local t; t=$(_cross_tool "$BOX_CROSS_BUILD" "$1") && shift && "${_box_emulator[@]}" "$t" "$@"; }

# same_bytes WHAT FILE_A FILE_B
same_bytes() {
    if cmp -s "$2" "$3"; then pass; else
        fail "$1: the files differ"
        diff <(od -An -c "$2") <(od -An -c "$3") | head -n 20 >&2
    fi
}
