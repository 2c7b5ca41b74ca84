#!/usr/bin/env bash
# Installs everything the build, the tests and the simulated box need, from
# Debian packages. Quiet and quick when all is already there.
set -euo pipefail

PACKAGES=(
  cmake make g++ pkg-config git
  libgtest-dev
  libavformat-dev libavcodec-dev libavutil-dev
  libcjson-dev libiw-dev
  wireless-tools
  busybox ffmpeg
  clang libclang-rt-14-dev clang-format
  util-linux iproute2 procps python3 curl
  g++-mips-linux-gnu qemu-user-static dpkg-dev
  qemu-user   # qemu-mips, which takes plugins: bench/player_insns.sh
  libjmac-java default-jre-headless   # Monkey's Audio encoder: the tests' APE files
  chromium chromium-driver python3-selenium   # the web interface stand-in's browser test
  python3-matplotlib   # the demo's picture of the box's day
  strace      # errors injected into udisk_scan's system calls: tests/scanner/udisk_scan_e2e.sh
  # The board lane (host/board/): QEMU's MIPS Malta, Debian's kernel source
  # and what building it needs, the USB stick's FAT32 image tools.
  qemu-system-mips linux-source-6.1 flex bison bc cpio libelf-dev xz-utils
  dosfstools mtools
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing packages: ${missing[*]}; run as root" >&2
    exit 1
  fi
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The MIPS lane (build-mips/) builds cJSON, libiw and FFmpeg from Debian's
# source packages, as Debian has no big-endian MIPS binaries of them. They are
# fetched into build-src/ (ignored by git) once; without them that lane leaves
# their users out.
# Source entries beside the machine's own binary ones: the same mirrors,
# suites and keys, so nothing here names a mirror of its own.
add_deb_src() {
  local d=/etc/apt/sources.list.d
  awk 'BEGIN { RS = ""; ORS = "\n\n" }
       /(^|\n)Types:([^\n]* )?deb( [^\n]*)?(\n|$)/ {
         gsub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print }' \
    $(ls "$d"/*.sources 2>/dev/null | grep -v '/box-deb-src\.sources$') </dev/null >"$d/box-deb-src.sources" 2>/dev/null || true
  [ -f /etc/apt/sources.list ] && sed -n 's/^deb \(.*\)/deb-src \1/p' /etc/apt/sources.list >"$d/box-deb-src.list"
  return 0
}

fetch_sources() {
  local dest=build-src p need=()
  for p in cjson wireless-tools ffmpeg; do
    compgen -G "$dest/$p-*/" >/dev/null || need+=("$p")
  done
  [ ${#need[@]} -gt 0 ] || return 0
  if ! apt-get source --print-uris "${need[0]}" >/dev/null 2>&1; then
    [ "$(id -u)" -eq 0 ] || { echo "setup: no deb-src lines for ${need[*]}; run as root" >&2; return 1; }
    add_deb_src
    apt-get update -qq
  fi
  mkdir -p "$dest"
  echo "setup: fetching the sources of ${need[*]} into $dest/"
  (cd "$dest" && apt-get source -qq "${need[@]}" >apt-source.log 2>&1) \
    || { echo "setup: apt-get source ${need[*]} failed, see $dest/apt-source.log" >&2; return 1; }
}
fetch_sources || echo "setup: the MIPS lane goes on without cJSON, libiw and FFmpeg" >&2
