#!/usr/bin/env bash
# Checks the music box's OpenWrt packages with OpenWrt's own build system, as
# a firmware engineer takes them into a buildroot:
#   OPENWRT_DIR=<buildroot> [OPENWRT_PACKAGES=<packages feed checkout>] openwrt/check.sh
# - feeds: this repository's openwrt/ as the src-link feed "musicbox" (and,
#   with OPENWRT_PACKAGES, that checkout as the "packages" feed instead of
#   the one feeds.conf names, for a machine without network access);
# - `make defconfig RECURSIVE_DEP_IS_ERROR=1` (as OpenWrt's CI runs it) with
#   the three packages selected, and the FFmpeg choices it leaves in .config;
# - the same with CONFIG_ALL=y: the packages must stay selectable;
# - a wrong source path stops the package's Build/Prepare, and an edit of a
#   program's source changes its stamp (so OpenWrt rebuilds it);
# - where the buildroot has a toolchain (staging_dir/toolchain-*), also
#   `make package/ffmpeg-box/compile package/music-box/compile`. Without one
#   (a fresh checkout has none; `make toolchain/install` builds it) that step
#   is skipped and says so.
# It edits the buildroot's feeds.conf (from feeds.conf.default when there is
# none) and .config (a fresh one targets ath79/generic: big-endian MIPS 24Kc
# without FPU, musl, as the box). OpenWrt's prerequisite check needs, on
# Debian: build-essential gawk flex bison libncurses-dev unzip file rsync
# wget git python3. Running as root needs no switch (current OpenWrt has no
# non-root check; `make toolchain/install` as root may want
# FORCE_UNSAFE_CONFIGURE=1 for GNU tar's and coreutils' configure).
set -uo pipefail

die() { echo "check: $*" >&2; exit 1; }
step() { echo "== $*"; }

[ -n "${OPENWRT_DIR:-}" ] || die "set OPENWRT_DIR to an OpenWrt buildroot"
top=$(cd "$OPENWRT_DIR" 2>/dev/null && pwd) || die "no folder $OPENWRT_DIR"
[ -x "$top/scripts/feeds" ] && [ -f "$top/include/package.mk" ] ||
    die "$top is not an OpenWrt buildroot (no scripts/feeds, include/package.mk)"
feed=$(cd "$(dirname "$0")" && pwd)
[ -f "$feed/music-box/Makefile" ] || die "no music-box package beside $0"
if [ -n "${OPENWRT_PACKAGES:-}" ]; then
    packages=$(cd "$OPENWRT_PACKAGES" 2>/dev/null && pwd) || die "no folder $OPENWRT_PACKAGES"
    [ -f "$packages/multimedia/ffmpeg/Makefile" ] || die "$packages is not a packages feed"
fi
cd "$top" || exit 1
log=$(mktemp -d) || exit 1
trap 'rm -rf "$log"' EXIT
status=0
bad() { echo "FAIL: $*"; status=1; }
ok() { echo "ok: $*"; }
# OpenWrt's scripts print progress lines with escape codes; keep the rest.
quiet() { tr '\r\033' '\n\n' | grep -v -e 'Collecting ' -e '^\[M*$' -e '^$'; }

step "feeds ($top/feeds.conf)"
[ -f feeds.conf ] || cp feeds.conf.default feeds.conf || die "cannot write feeds.conf"
{
    grep -v -E '^src-[a-z]+ +musicbox( |$)' feeds.conf |
        if [ -n "${packages:-}" ]; then grep -v -E '^src-[a-z]+ +packages( |$)'; else cat; fi
    [ -n "${packages:-}" ] && echo "src-link packages $packages"
    echo "src-link musicbox $feed"
} >"$log/feeds.conf" && cp "$log/feeds.conf" feeds.conf
grep -E '^src-' feeds.conf
./scripts/feeds update -a >"$log/update" 2>&1 || { quiet <"$log/update" | tail -20; die "feeds update failed"; }
./scripts/feeds install -a -p musicbox >"$log/install" 2>&1 || { quiet <"$log/install" | tail -20; die "feeds install failed"; }
quiet <"$log/install" | grep -E '^Installing' || true
# OpenWrt caches a package's metadata until its Makefile is newer than the
# cache; a feed pointed at another checkout need not be. Rescan this feed's.
rm -f tmp/info/.packageinfo-feeds_musicbox_*

target_lines() { # the .config's target, or the box's kind when it has none
    if [ -f .config ] && grep -q '^CONFIG_TARGET_[a-z0-9]*=y' .config; then
        grep -E '^CONFIG_TARGET_[A-Za-z0-9_]+=y' .config
    else
        printf 'CONFIG_TARGET_ath79=y\nCONFIG_TARGET_ath79_generic=y\n'
    fi
}
defconfig() { # label
    if make defconfig RECURSIVE_DEP_IS_ERROR=1 >"$log/defconfig" 2>&1; then
        ok "$1: make defconfig RECURSIVE_DEP_IS_ERROR=1"
    else
        quiet <"$log/defconfig" | grep -v '^WARNING: Makefile' | tail -20
        bad "$1: make defconfig RECURSIVE_DEP_IS_ERROR=1 failed"
    fi
    quiet <"$log/defconfig" | grep -i -e 'recursive' -e 'music-box' -e 'ffmpeg-box' || true
}
value() { sed -n "s/^CONFIG_$1=//p" .config | tr -d '"'; }
has_word() { case " $1 " in *" $2 "*) return 0 ;; esac; return 1; }

step "defconfig with the packages selected"
target_lines >"$log/config"
printf 'CONFIG_PACKAGE_%s=y\n' music-box-player music-box-net music-box-tools >>"$log/config"
cp "$log/config" .config
defconfig "packages selected"
grep -E '^CONFIG_(TARGET_[a-z0-9]+|CPU_TYPE|LIBC|SOFT_FLOAT)=' .config
grep -E '^CONFIG_PACKAGE_(music-box|libffmpeg|cJSON|libuci|libiw)' .config
grep -E '^CONFIG_FFMPEG' .config
for p in music-box-player music-box-net music-box-tools libffmpeg-box; do
    [ "$(value "PACKAGE_$p")" = y ] || bad "$p is not selected after defconfig"
done
[ "$(value LIBC)" = musl ] || echo "note: the C library is $(value LIBC), not musl"
decoders=$(value FFMPEG_BOX_DECODERS)
demuxers=$(value FFMPEG_BOX_DEMUXERS)
parsers=$(value FFMPEG_BOX_PARSERS)
# The nine extensions: .mp3 .mp2 .aac .m4a .ac3 .flac .ape .wma .wav.
for d in mp3 mp2 aac_fixed ac3_fixed flac ape wmav1 wmav2 pcm_s16le pcm_u8 pcm_s24le; do
    has_word "$decoders" "$d" || bad "decoder $d missing"
done
for d in mp3float aac ac3; do  # float decoders that have a fixed-point twin
    has_word "$decoders" "$d" && bad "float decoder $d built (its fixed-point twin exists)"
done
for d in mp3 aac mov ac3 flac ape asf wav; do
    has_word "$demuxers" "$d" || bad "demuxer $d missing"
done
for d in mpegaudio aac ac3 flac; do
    has_word "$parsers" "$d" || bad "parser $d missing"
done
[ $status -eq 0 ] && ok "FFmpeg: fixed-point MP3/MP2/AAC/AC-3 decoders, no float twin, demuxers for all nine extensions"
cp .config "$log/config.selected"

step "defconfig with CONFIG_ALL=y"
{ target_lines; echo CONFIG_ALL=y; } >.config
defconfig "CONFIG_ALL"
grep -E '^CONFIG_PACKAGE_(music-box|libffmpeg-box)' .config
for p in music-box-player music-box-net music-box-tools libffmpeg-box; do
    case $(value "PACKAGE_$p") in y|m) ;; *) bad "$p is not built with CONFIG_ALL" ;; esac
done
cp "$log/config.selected" .config

step "package sources"
# Straight into the package's own make, as the buildroot runs it; no
# toolchain needed for the stamp or for Build/Prepare.
pkgmake() { TOPDIR=$top make -s -C package/feeds/musicbox/music-box "$@" 2>&1; }
stamp() { pkgmake --eval 'box-stamp: ; @echo $(notdir $(STAMP_PREPARED))' box-stamp MUSIC_BOX_SRC="$1" | tail -n1; }
out=$(pkgmake prepare MUSIC_BOX_SRC="$log/none")
if grep -q 'no music box source tree' <<<"$out"; then
    ok "a wrong source path stops Build/Prepare: $(grep 'no music box source tree' <<<"$out")"
else
    bad "Build/Prepare with a wrong source path did not stop: $out"
fi
# An edit in a copy of the tree changes the package's stamp (its rebuild).
src=$(cd "$feed/.." && pwd)
mkdir -p "$log/src"
parts=$(pkgmake --eval 'box-parts: ; @echo $(MUSIC_BOX_PARTS)' box-parts | tail -n1)
(cd "$src" && cp -pR $parts "$log/src/")
before=$(stamp "$log/src")
touch "$log/src/player/main.cpp"
after=$(stamp "$log/src")
echo "stamp: $before"
echo "after an edit of player/main.cpp: $after"
[ -n "$before" ] && [ "$before" != "$after" ] && ok "an edit of player/main.cpp rebuilds the package" ||
    bad "the package's stamp ignores an edit of player/main.cpp"

step "compile"
arch=$(value ARCH)
toolchain=$(ls -d staging_dir/toolchain-"${arch:-none}"_* 2>/dev/null | head -n1)
if [ -z "$toolchain" ] || ! ls "$toolchain"/bin/*-gcc >/dev/null 2>&1; then
    echo "skipped: no toolchain for ${arch:-this target} in $top/staging_dir (make toolchain/install builds one)"
else
    echo "toolchain: $toolchain"
    for p in ffmpeg-box music-box; do
        if make "package/$p/compile" V=s >"$log/compile-$p" 2>&1; then
            ok "make package/$p/compile"
        else
            tail -30 "$log/compile-$p"
            bad "make package/$p/compile failed"
        fi
    done
    find bin/packages -name 'libffmpeg-box*' -o -name 'music-box-*' | sort | while read -r f; do
        printf '  %-60s %10d\n' "$f" "$(stat -c %s "$f")"
    done
fi

[ $status -eq 0 ] && echo "check: all passed" || echo "check: FAILED"
exit $status
