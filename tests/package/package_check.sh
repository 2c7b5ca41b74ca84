#!/usr/bin/env bash
# The OpenWrt package without an SDK: its install rules and init scripts
# parse, every program the CMake build installs is packaged from the place
# `cmake --install` puts it, and each daemon's init script starts it under
# procd with respawn.
source "$BOX_SRC/tests/e2e/lib.sh"
pkg=$BOX_SRC/openwrt/music-box
daemons="dorvu wifi_survey wan_watch renderer_ctl wifi_watch"
watchdogs="renderer_ctl wifi_watch"

box_workdir
w=$BOX_WORK

# Install rules, one line per copied file: "<package> <source> <destination>",
# with a trailing "/" on the destination replaced by the file's own name.
# Lines "<package> dir <folder>" for each $(INSTALL_DIR).
awk '
  /^define Package\/[^ ]+\/install$/ { split($2, a, "/"); p = a[2]; next }
  /^endef/ { p = ""; next }
  p != "" && $1 == "$(INSTALL_DIR)" { for (i = 2; i <= NF; i++) print p, "dir", $i; next }
  p != "" && $1 == "$(INSTALL_BIN)" { print p, $2, $3 }
' "$pkg/Makefile" | sed -e 's/\$(1)//g' -e 's/\$(PKG_INSTALL_DIR)//' >"$w/rules"
check "the Makefile has install rules" grep -q ' /usr/' "$w/rules"

declare -A packaged  # box path -> package, for the built programs
declare -A init      # daemon -> init script source
while read -r p src dst; do
    [ "$src" = dir ] && continue
    [[ $dst == */ ]] && dst=$dst$(basename "$src")
    grep -qx "$p dir $(dirname "$dst")" "$w/rules" || fail "$p: no \$(INSTALL_DIR) for $(dirname "$dst")"
    case $src in
        ./files/*) init[$(basename "$dst")]=$pkg/${src#./} ;;
        /*) [ "$src" = "$dst" ] || fail "$p installs $src as $dst (the box path must be the install path)"
            packaged[$dst]=$p ;;
        *) fail "$p: unexpected source $src" ;;
    esac
done <"$w/rules"

# What the CMake build installs, under the box's prefix.
DESTDIR="$w/root" cmake --install "$BOX_BUILD" --prefix /usr >"$w/install.log" 2>&1
assert_status 0 $? "cmake --install"
mapfile -t installed < <(cd "$w/root" && find . -type f -perm -u+x | sed 's/^\.//' | sort)
[ ${#installed[@]} -gt 0 ] || fail "cmake --install installed no program"
for f in "${installed[@]}"; do
    [ -n "${packaged[$f]:-}" ] && pass || fail "$f is installed but not packaged"
done
# A packaged program must be installed once its folder exists.
for f in "${!packaged[@]}"; do
    name=$(basename "$f")
    [ -e "$w/root$f" ] && continue
    if grep -rqs "box_program($name)" "$BOX_SRC"/*/CMakeLists.txt; then
        fail "$f is packaged but cmake --install did not put it there"
    else
        echo "note: $name is packaged but not in this tree yet"
    fi
done

# Init scripts: syntax as BusyBox's shell reads it, procd with respawn, and
# the command each really sets, got by running start_service with stand-ins
# for procd's helpers.
for d in $daemons; do
    s=${init[$d]:-}
    [ -n "$s" ] || { fail "no init script installed as /etc/init.d/$d"; continue; }
    check "$d.init parses" busybox sh -n "$s"
    got=$(busybox sh -c '
        procd_open_instance() { echo open; }
        procd_close_instance() { echo close; }
        procd_set_param() { echo "$*"; }
        . "$1"; echo "use_procd=$USE_PROCD start=$START stop=$STOP"; start_service' _ "$s" 2>&1)
    assert_contains "$got" "command /usr/sbin/$d" "$d.init starts the packaged /usr/sbin/$d"
    [ -n "${packaged[/usr/sbin/$d]:-}" ] || fail "/usr/sbin/$d is not packaged"
    assert_contains "$got" "respawn " "$d.init respawns"
    assert_contains "$got" "use_procd=1" "$d.init uses procd"
    start=$(sed -n 's/.*start=\([0-9]*\).*/\1/p' <<<"$got")
    eval "start_$d=\${start:-0}"
done
# Watchdogs start after everything they could watch.
for g in $watchdogs; do
    for d in $daemons; do
        case " $watchdogs " in *" $d "*) continue ;; esac
        gs=start_$g ds=start_$d
        [ "$((10#${!gs}))" -gt "$((10#${!ds}))" ] && pass || fail "$g (START=${!gs}) does not start after $d (START=${!ds})"
    done
done
