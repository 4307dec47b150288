#!/usr/bin/env bash
# Sets everything up, builds, and starts the station on its built-in camera
# simulator with a throwaway home folder. Without a display it starts Xvfb
# with a window manager and saves screenshots to build/artifacts/station.png.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2

home=$(mktemp -d /tmp/undercam-home-XXXXXX)
mkdir -p "$home/Dunmere/config" "$home/recordings"
cat > "$home/Dunmere/config/.undercam" <<CONF
write_path=$home/recordings
CONF
echo "station home: $home"

cleanup() { kill ${shot_pid:-} ${wm_pid:-} ${xvfb_pid:-} 2>/dev/null || true; }
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
  display=:$(( 90 + RANDOM % 9 ))
  Xvfb "$display" -screen 0 1600x1000x24 >/dev/null 2>&1 & xvfb_pid=$!
  sleep 1
  DISPLAY=$display openbox >/dev/null 2>&1 & wm_pid=$!
  export DISPLAY=$display
  mkdir -p build/artifacts
  ( while sleep 5; do import -display "$display" -window root "$root/build/artifacts/station.png" 2>/dev/null || true; done ) & shot_pid=$!
  echo "no display: running on $display, screenshots in build/artifacts/station.png"
fi

HOME="$home" ./build/src/undercam
