# Shared helpers for end-to-end scripts: source it first.
#
#   source "$BOX_SRC/tests/e2e/lib.sh"
#   box_workdir                      # $BOX_WORK: fresh folder, removed at exit
#   boxrun --out "$BOX_WORK/out" -- nor show
#   assert_eq "expected" "$actual" "what is checked"
#
# Every assert counts as one check; the script's exit prints
# "<name>: N passed, N failed" and exits non-zero on any failure, when the
# script itself failed, or when it made no check at all.
# Inside the box, /box/out/journal holds one line per call of a stand-in
# command, control files go to /box/out/fake/ (see host/box/README.md), and
# `box_fake_daemon NAME ARGS...` starts a process whose `ps` line is "NAME ARGS...".

set -uo pipefail

: "${BOX_SRC:=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
: "${BOX_BUILD:=$BOX_SRC/build}"
: "${BOX_BIN:=$BOX_BUILD/bin}"
export BOX_SRC BOX_BUILD BOX_BIN

_box_passed=0
_box_failed=0
_box_dirs=()
_box_name=$(basename "$0" .sh)

_box_exit() {
    local rc=$?
    local d
    for d in "${_box_dirs[@]}"; do rm -rf -- "$d"; done
    if [ $rc -ne 0 ] && [ $_box_failed -eq 0 ]; then
        echo "FAIL: the script stopped with status $rc" >&2
        _box_failed=$((_box_failed + 1))
    fi
    if [ $((_box_passed + _box_failed)) -eq 0 ]; then
        echo "FAIL: no check was made" >&2
        _box_failed=1
    fi
    echo "$_box_name: $_box_passed passed, $_box_failed failed"
    [ $_box_failed -eq 0 ] || exit 1
    exit 0
}
trap _box_exit EXIT

# box_workdir [VAR]: a fresh folder in VAR (default BOX_WORK), removed at exit.
box_workdir() {
    local var=${1:-BOX_WORK} dir
    dir=$(mktemp -d "${TMPDIR:-/tmp}/box-e2e.XXXXXX") || { echo "cannot make a work folder" >&2; exit 1; }
    _box_dirs+=("$dir")
    printf -v "$var" '%s' "$dir"
}

# boxrun ARGS...: the sandbox launcher, with the built programs on PATH.
boxrun() {
    local extra=()
    [ -d "$BOX_BIN" ] && extra=(--bin "$BOX_BIN")
    "$BOX_SRC/host/box/boxrun" "${extra[@]}" "$@"
}

# box_need PROGRAM: stops the script (as a failure) when PROGRAM was not built.
box_need() {
    [ -x "$BOX_BIN/$1" ] || { fail "$BOX_BIN/$1 was not built"; exit 1; }
}

pass() { _box_passed=$((_box_passed + 1)); }
fail() {
    _box_failed=$((_box_failed + 1))
    echo "FAIL: $*" >&2
}

# check "what" COMMAND...: passes when COMMAND succeeds.
check() {
    local what=$1
    shift
    if "$@"; then pass; else fail "$what"; fi
}

assert_eq() { # expected actual [what]
    if [ "$1" == "$2" ]; then
        pass
    else
        fail "${3:-values differ}"
        printf '  expected: %q\n  actual:   %q\n' "$1" "$2" >&2
    fi
}

assert_ne() { # unexpected actual [what]
    if [ "$1" != "$2" ]; then pass; else fail "${3:-value is} '$2'"; fi
}

assert_contains() { # haystack needle [what]
    if [[ "$1" == *"$2"* ]]; then
        pass
    else
        fail "${3:-text lacks} '$2'"
        printf '  in: %q\n' "$1" >&2
    fi
}

assert_not_contains() { # haystack needle [what]
    if [[ "$1" != *"$2"* ]]; then
        pass
    else
        fail "${3:-text holds} '$2'"
        printf '  in: %q\n' "$1" >&2
    fi
}

assert_file_eq() { # expected-file actual-file [what]
    if cmp -s -- "$1" "$2"; then
        pass
    else
        fail "${3:-files differ}: $1 vs $2"
        diff -u -- "$1" "$2" 2>&1 | head -20 >&2
    fi
}

# assert_file_text FILE TEXT [what]: FILE holds exactly TEXT (a missing file fails).
assert_file_text() {
    if [ -f "$1" ] && [ "$(cat -- "$1"; echo x)" == "$2"x ]; then
        pass
    else
        fail "${3:-file $1 does not hold the expected text}"
        printf '  expected: %q\n  actual:   %q\n' "$2" "$(cat -- "$1" 2>/dev/null)" >&2
    fi
}

assert_status() { # expected-status actual-status [what]
    assert_eq "$1" "$2" "${3:-exit status}"
}

# wait_for SECONDS COMMAND...: polls COMMAND every 0.1 s until it succeeds;
# returns 1 when SECONDS pass first. Not a check by itself: wrap it in `check`.
wait_for() {
    local limit=$1
    shift
    local tries
    tries=$(awk -v s="$limit" 'BEGIN { print int(s * 10) }') # tenths; "0.5" works too
    while [ $tries -gt 0 ]; do
        "$@" && return 0
        sleep 0.1
        tries=$((tries - 1))
    done
    return 1
}

# Control of the stand-in commands, given the --out folder of the run.
box_fake_status() { mkdir -p "$1/fake" && printf '%s\n' "$3" >"$1/fake/$2.status"; }  # out name status
box_fake_stdout() { mkdir -p "$1/fake" && printf '%s' "$3" >"$1/fake/$2.stdout"; }    # out name text
box_fake_run()    { mkdir -p "$1/fake" && printf '%s\n' "$3" >"$1/fake/$2.run"; }      # out name script
box_fake_spawn()  { mkdir -p "$1/fake" && printf '%s\n' "$3" >>"$1/fake/$2.spawn"; }   # out name "daemon line"
box_journal()     { cat "$1/journal" 2>/dev/null; }                                    # out

# box_need_upstream: a box with a cable (boxrun --upstream) must start. Where
# the kernel refuses veth pairs or bridges the script ends as skipped (status
# 77; register it with SKIP_RETURN_CODE 77); any other trouble is a failure.
box_need_upstream() {
    local err d
    err=$("$BOX_SRC/host/box/boxrun" --upstream none -- true 2>&1) && return 0
    case "$err" in
        *"kernel refuses"*)
            echo "SKIP: $err"
            trap - EXIT
            for d in "${_box_dirs[@]}"; do rm -rf -- "$d"; done
            exit 77 ;;
    esac
    fail "boxrun --upstream does not start: $err"
    exit 1
}
