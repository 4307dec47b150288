#!/usr/bin/env bash
# Installs every Debian package the station needs to build, run, test and package.
# With --tests also the fleet store's engine the tests run against (Ceph's
# monitor, OSD and RADOS Gateway, scripts/fleet_engine.sh) and an independent
# S3 client (awscli): scripts/test.sh asks for them, an operator's station
# never gets them.
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail

with_tests=0
case "${1:-}" in
  "") ;;
  --tests) with_tests=1 ;;
  *) echo "usage: setup.sh [--tests]" >&2; exit 2 ;;
esac

packages=(
  build-essential cmake pkg-config git clang-format
  dpkg-dev lintian desktop-file-utils
  libwxgtk3.2-dev
  libboost-dev libboost-system-dev
  libleveldb-dev
  libopencv-core-dev libopencv-imgcodecs-dev libopencv-imgproc-dev
  libzip-dev zip unzip
  libdeflate-dev
  libcurl4-openssl-dev libssl-dev
  libgtest-dev googletest
  xvfb xauth openbox xdotool imagemagick x11-utils
  socat python3-plyvel python3-pil
  libaravis-dev libusb-1.0-0-dev aravis-tools iproute2
  clang libclang-rt-14-dev
)
if [ "$with_tests" = 1 ]; then
  packages+=(ceph-mon ceph-osd radosgw awscli curl openssl)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
