#!/usr/bin/env bash
# Sets everything up, builds, and starts the station on two simulated cameras
# with a throwaway home folder. Without a display it starts Xvfb with a window
# manager and saves screenshots to build/artifacts/station.png.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# Only what it starts: the station and its two simulators (tests come with scripts/test.sh).
cmake --build build -j2 --target undercam odometer_sim coordinate_server_sim

home=$(mktemp -d /tmp/undercam-home-XXXXXX)
mkdir -p "$home/Dunmere/config" "$home/recordings"

cleanup() {
  kill ${shot_pid:-} ${odo_pid:-} ${coord_pid:-} ${wm_pid:-} ${xvfb_pid:-} 2>/dev/null || true
}
trap cleanup EXIT

# The odometer: 2 messages a second, 5 counts apart, on a pseudo-terminal.
./build/tools/odometer_sim --rate 2 --start 1000 --step 5 --link "$home/odometer" >"$home/odometer.log" 2>&1 &
odo_pid=$!
# The coordinate server: the session changes every minute.
./build/tools/coordinate_server_sim --port 0 --session "A12:7" --session "A12:8" \
  --change-every 60 >"$home/coordinates.log" 2>&1 &
coord_pid=$!
for _ in $(seq 50); do [ -s "$home/coordinates.log" ] && [ -e "$home/odometer" ] && break; sleep 0.1; done
coord_port=$(head -n 1 "$home/coordinates.log")

# The camera simulator's two cameras, named in a settings file of its own:
# without one the station looks for real cameras.
cat > "$home/cameras.conf" <<CAMERAS
[camera]
id = TL=>GevTL , INT=>FD , MAC=>00-0C-DF-0A-00-01 , DEV=>SIM-LS2048-0001
model = SIM-LS2048
ip = 192.168.10.11
width = 2048
height = 1024
fps = 10
[camera]
id = TL=>GevTL , INT=>SD , MAC=>00-0C-DF-0A-00-02 , DEV=>SIM-LS2048-0002
model = SIM-LS2048
ip = 192.168.10.12
width = 2048
height = 1024
fps = 10
CAMERAS

cat > "$home/Dunmere/config/.undercam" <<CONF
write_path=$home/recordings
dpp_port=$home/odometer
coordinate_server_port=$coord_port
coordinate_server_query_period=5
CONF
echo "station home: $home (odometer $home/odometer, coordinate server on port $coord_port)"
echo "choose Камера > Захват и запись to record; recordings go to $home/recordings"

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

HOME="$home" JAI_SIM_CONFIG="$home/cameras.conf" ./build/src/undercam
