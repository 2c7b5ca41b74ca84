#!/usr/bin/env bash
# Installs everything the build, the tests and the simulated box need, from
# Debian packages. Quiet and quick when all is already there.
set -euo pipefail

PACKAGES=(
  cmake make g++ pkg-config git
  libgtest-dev
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev
  libcjson-dev libiw-dev
  wireless-tools
  busybox ffmpeg
  clang libclang-rt-14-dev
  util-linux iproute2 procps python3
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
