#!/usr/bin/env bash
# Sets everything up, builds, and runs every test suite (window suites under
# Xvfb, in network namespaces of their own where the machine allows), builds
# the Debian package and checks it installed, then runs the suites again
# under ThreadSanitizer and under AddressSanitizer with UndefinedBehaviorSanitizer,
# then fuzzes every byte parser for 30 s.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --tests
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2
(cd build && ctest --output-on-failure -j2)
# The Debian package: built, checked by lintian, installed, started, removed.
bash scripts/package_check.sh
# The threaded core again, under ThreadSanitizer.
cmake --preset tsan
cmake --build --preset tsan
ctest --preset tsan
# Everything, window suites included, under AddressSanitizer and UBSan (no recovery).
cmake --preset asan
cmake --build --preset asan
ctest --preset asan
# The byte parsers, from the corpus of real messages.
bash scripts/fuzz.sh 30
