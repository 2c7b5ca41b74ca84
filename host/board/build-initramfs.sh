#!/usr/bin/env bash
# Assembles the board's initramfs from the MIPS build's programs:
#   host/board/build-initramfs.sh BUILD_MIPS BUSYBOX_DIR OUT.cpio.gz [MODULE.ko]
# BusyBox (static) with its applet links, glibc's MIPS runtime, the eight
# programs at the package's install paths, the package's init scripts and
# rc.common, the procd stand-in, the UCI stand-in, the wireless stand-in, the outside-command
# stand-ins, the box's settings and the board's own start-up files (rootfs/).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd); bbdir=$2; out=$3; module=${4:-}
sysroot=/usr/mips-linux-gnu
cross=mips-linux-gnu-

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
r=$stage
mkdir -p "$r"/{bin,sbin,usr/bin,usr/sbin,lib/modules,proc,sys,dev,tmp,root,etc/init.d,etc/config,etc/rc.d} \
         "$r"/usr/mips/www "$r"/usr/mips/cgi-bin/script "$r"/lib/wifi "$r"/box/{fakes,lib,out/fake,run}
ln -s tmp "$r/var"
cp "$bbdir/busybox" "$r/bin/busybox"
while read -r applet; do
  [ -e "$r/$applet" ] || ln -s /bin/busybox "$r/$applet"
done <"$bbdir/busybox.links"
ln -sf /bin/busybox "$r/init"

# glibc's runtime for the dynamically linked programs (they link libstdc++
# statically; the stand-ins and the UCI command need libstdc++.so.6).
for l in ld.so.1 libc.so.6 libm.so.6 libgcc_s.so.1 libpthread.so.0 libdl.so.2 librt.so.1 libstdc++.so.6; do
  [ -e "$sysroot/lib/$l" ] && cp -L "$sysroot/lib/$l" "$r/lib/$l"
done

# The programs, where the package installs them (its $(INSTALL_BIN) rules).
sed -n 's/^\t\$(INSTALL_BIN) \$(PKG_INSTALL_DIR)\(\/[^ ]*\) \$(1)\(\/.*\)$/\1 \2/p' \
    "$repo/openwrt/music-box/Makefile" | while read -r from to; do
  prog=${from##*/}
  [ -x "$build/bin/$prog" ] || { echo "build-initramfs: $prog was not built in $build" >&2; exit 1; }
  mkdir -p "$r$to"
  cp "$build/bin/$prog" "$r$to/$prog"
  ${cross}strip "$r$to/$prog"
done
sed -n 's/^\t\$(INSTALL_BIN) \.\/files\/\([^ ]*\) \$(1)\(\/.*\)$/\1 \2/p' \
    "$repo/openwrt/music-box/Makefile" | while read -r from to; do
  install -m 755 "$repo/openwrt/music-box/files/$from" "$r$to"
done
install -m 755 "$repo/host/box/rc.common" "$r/etc/rc.common"
# The supervisor in procd's place, and its other names.
[ -x "$build/bin/procd" ] || { echo "build-initramfs: procd was not built in $build" >&2; exit 1; }
cp "$build/bin/procd" "$r/sbin/procd" && ${cross}strip "$r/sbin/procd"
ln -sf procd "$r/sbin/logread"
ln -sf procd "$r/sbin/procd_call"
ln -s /usr/mips/cgi-bin "$r/usr/mips/www/cgi-bin"

# Stand-ins: UCI, the wireless driver (preloaded), the time stand-in (for
# tests that play fast), the outside commands.
# (In the MIPS tree bin/uci is the emulator wrapper, bin/uci.target the program.)
uci=$build/bin/uci.target; [ -f "$uci" ] || uci=$build/bin/uci
cp "$uci" "$r/sbin/uci" && ${cross}strip "$r/sbin/uci"
for l in libwlan_standin.so libtimewarp.so; do
  cp "$build/lib/$l" "$r/lib/" && ${cross}strip "$r/lib/$l"
done
# The sandbox's stand-in commands where its profile puts them (those it
# marks pc-only left out), their shared part and the profile they read.
install -m 755 "$repo/host/box/fakes/fake" "$r/box/lib/fake"
install -m 644 "$repo/host/box/fakes/standin.sh" "$r/box/lib/standin.sh"
install -m 644 "$repo/host/box/profile" "$r/box/lib/profile"
standins=$(python3 -B "$repo/host/box/box_profile.py" board-standins)
while read -r from to; do install -D -m 755 "$from" "$r$to"; done <<<"$standins"
${cross}gcc -Os -static -Wall -Wextra -Werror -o "$r/box/lib/box_fake_daemon" "$here/fake_daemon.c"
${cross}strip "$r/box/lib/box_fake_daemon"

cp "$repo"/tests/box/day_config/* "$r/etc/config/"
cp -a "$here"/rootfs/. "$r/"
# The web interface's play-state edits, for tests and benchmarks in the board.
cp "$repo/host/box/web_iface.sh" "$r/etc/board/web_iface.sh"
cat >"$r/etc/board/env" <<'ENV'
# The daemons' environment: outside-command stand-ins first on PATH, the
# wireless stand-in preloaded (there is no radio).
export PATH=/box/fakes:/usr/sbin:/usr/bin:/sbin:/bin:/box/lib
export LD_PRELOAD=/lib/libwlan_standin.so
ENV
echo 'root:x:0:0:root:/root:/bin/sh' >"$r/etc/passwd"
echo 'root:x:0:' >"$r/etc/group"
[ -n "$module" ] && cp "$module" "$r/lib/modules/"

(cd "$r" && find . | LC_ALL=C sort | cpio -o -H newc -R 0:0 --quiet) | gzip -6 >"$out.tmp"
mv "$out.tmp" "$out"
