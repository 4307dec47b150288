#!/usr/bin/env bash
# Builds the Debian package (scripts/package.sh) and checks it as an operator
# would get it: lintian finds no errors, its files lie in the usual places
# only, it installs into this machine with dpkg (its dependencies through
# apt-get), and the installed station, started under Xvfb with a temporary
# home and one simulated camera, opens its main window and closes on
# SIGTERM. The package is removed again unless it was installed before.
# Needs root (or sudo) for dpkg and for a network namespace of its own (the
# station's discovery port is fixed).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

fail() {
  echo "package check: FAILED: $*" >&2
  exit 1
}

# The part that runs in the private network namespace, under xvfb-run:
# package_check.sh --run-installed HOME ARTIFACT_DIR
if [ "${1:-}" = "--run-installed" ]; then
  home=$2 artifacts=$3
  title=$(sed -n 's/^Name\[ru\]=//p' /usr/share/applications/undercam.desktop)
  [ -n "$title" ] || fail "the installed desktop entry has no Name[ru]"
  # A window manager, as on an operator's desktop (the window starts maximised).
  openbox >/dev/null 2>&1 &
  wm=$!
  HOME="$home" JAI_SIM_CONFIG="$home/.jai_sim.conf" /usr/bin/undercam >"$home/station.log" 2>&1 &
  pid=$!
  trap 'kill -KILL "$pid" 2>/dev/null || true; kill "$wm" 2>/dev/null || true' EXIT
  window=""
  for _ in $(seq 300); do
    kill -0 "$pid" 2>/dev/null || { cat "$home/station.log" >&2; fail "the station ended at start"; }
    for id in $(xdotool search --pid "$pid" 2>/dev/null); do
      if [ "$(xdotool getwindowname "$id" 2>/dev/null)" = "$title" ] &&
        xwininfo -id "$id" | grep -q 'Map State: IsViewable'; then
        window=$id
      fi
    done
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || fail "no window \"$title\" within 30 s"
  echo "package check: the installed station shows its window \"$title\" ($window)"
  # The journal names the one camera of the settings file.
  journal=""
  for _ in $(seq 300); do
    journal=$(cat "$home"/Dunmere/log/*.html 2>/dev/null || true)
    grep -q 'Active camera selected' <<<"$journal" && break
    sleep 0.1
  done
  grep -q '1 camera(s) detected' <<<"$journal" ||
    fail "the journal does not report the settings file's one camera"
  mkdir -p "$artifacts"
  sleep 1
  import -window root "$artifacts/installed_station.png" 2>/dev/null || true
  kill -TERM "$pid"
  for _ in $(seq 200); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && { kill -KILL "$pid"; fail "the station did not end within 20 s of SIGTERM"; }
  status=0
  wait "$pid" || status=$?
  [ "$status" -eq 0 ] || fail "the station ended with status $status after SIGTERM"
  echo "package check: the installed station closed on SIGTERM"
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
started=$(date +%s)
deb=$(bash scripts/package.sh | tail -n 1)
[ -f "$deb" ] || fail "scripts/package.sh made no package"
echo "package check: $deb"
version=$(dpkg-deb -f "$deb" Version)

# Debian's own checks: warnings and notes are shown, errors fail.
lintian_out=$(lintian --display-info "$deb" 2>&1 | grep -v '^running with root privileges' || true)
echo "$lintian_out"
if grep -q '^E: ' <<<"$lintian_out"; then fail "lintian reports errors"; fi

# Files in the usual places only, and everything the station needs.
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print substr($6, 2)}')
usual='^/usr/(bin/[a-z_]+|share/applications/undercam\.desktop|share/icons/hicolor/[0-9]+x[0-9]+/apps/undercam\.png|share/man/man1/[a-z_]+\.1\.gz|share/doc/undercam/(copyright|changelog\.gz))$'
unusual=$(grep -Ev "$usual" <<<"$files" || true)
[ -z "$unusual" ] || fail "files outside the usual places: $unusual"
for f in /usr/bin/undercam /usr/bin/undercam_client /usr/bin/odometer_sim \
  /usr/bin/coordinate_server_sim /usr/share/applications/undercam.desktop \
  /usr/share/doc/undercam/copyright; do
  grep -qx "$f" <<<"$files" || fail "the package lacks $f"
done
grep -q '^/usr/share/icons/hicolor/.*/apps/undercam\.png$' <<<"$files" || fail "the package has no icon"
depends=$(dpkg-deb -f "$deb" Depends)
grep -q 'libwxgtk3\.2' <<<"$depends" || fail "the dependencies do not name wxWidgets: $depends"

installed_before=$(dpkg-query -W -f='${Status}' undercam 2>/dev/null || true)
home=$(mktemp -d /tmp/undercam-package-home-XXXXXX)
cleanup() {
  rm -rf "$home"
  if [ "$installed_before" != "install ok installed" ]; then
    $SUDO dpkg -r undercam >/dev/null 2>&1 || true
  fi
}
trap cleanup EXIT

# Install as an operator would: dpkg, then apt-get for missing dependencies.
export DEBIAN_FRONTEND=noninteractive
if ! $SUDO dpkg -i "$deb"; then
  $SUDO apt-get -o DPkg::Lock::Timeout=300 -f install -y
fi
[ "$(dpkg-query -W -f='${Status} ${Version}' undercam)" = "install ok installed $version" ] ||
  fail "undercam $version is not installed"
desktop-file-validate /usr/share/applications/undercam.desktop || fail "the desktop entry is not valid"
grep -qx 'Icon=undercam' /usr/share/applications/undercam.desktop || fail "the desktop entry names no icon"
man -w undercam >/dev/null || fail "no manual page for undercam"

# One simulated camera, named by the settings file: the station uses the
# cameras that file names (without it, it would look for others).
cat >"$home/.jai_sim.conf" <<'CAMERAS'
[camera]
id = TL=>GevTL , INT=>SD , MAC=>00-0C-DF-0A-00-01 , DEV=>SIM-LS2048-0001
model = SIM-LS2048
ip = 192.168.10.11
width = 2048
height = 1024
fps = 10
CAMERAS
mkdir -p "$home/Dunmere/config" "$home/recordings"
printf 'write_path=%s\n' "$home/recordings" >"$home/Dunmere/config/.undercam"

netns=(unshare -n)
[ "$(id -u)" -eq 0 ] || netns=(unshare -rn)
"${netns[@]}" sh -c 'ip link set lo up; exec "$@"' sh \
  xvfb-run -a -s "-screen 0 1600x1000x24" bash "$root/scripts/package_check.sh" --run-installed \
  "$home" "$root/build-package/artifacts"
echo "package check: passed in $(($(date +%s) - started)) s"
