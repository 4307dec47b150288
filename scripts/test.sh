#!/usr/bin/env bash
# Sets everything up, builds, and runs every test suite (window suites under Xvfb),
# then builds the Debian package and checks it installed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2
(cd build && ctest --output-on-failure -j2)
# The Debian package: built, checked by lintian, installed, started, removed.
bash scripts/package_check.sh
# The threaded core again, under ThreadSanitizer.
cmake --preset tsan
cmake --build --preset tsan
ctest --preset tsan
