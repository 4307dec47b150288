#!/usr/bin/env bash
# Builds the Debian package in a Release build folder of its own
# (build-package/) and prints the path of the .deb file as its last line.
# Only the installed programs are built, not the tests or benchmarks.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/setup.sh >&2
build="build-package"

# Debian's hardening flags (stack protector, fortified functions, read-only
# relocations bound at start), without debugging information: the package's
# programs are stripped.
flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1" | sed 's/\(^\| \)-g\( \|$\)/\1/'; }
cxxflags="$(flags CPPFLAGS) $(flags CXXFLAGS)"
cflags="$(flags CPPFLAGS) $(flags CFLAGS)"
ldflags=$(flags LDFLAGS)

# cpack would otherwise build every target (tests and benchmarks too) first.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_C_FLAGS="$cflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >&2
cmake --build "$build" -j2 --target undercam undercam_client odometer_sim coordinate_server_sim \
  package_files >&2
rm -f "$build"/undercam_*.deb
(cd "$build" && cpack -G DEB) >&2
deb=$(ls "$build"/undercam_*.deb)
echo "$root/$deb"
