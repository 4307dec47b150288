#!/usr/bin/env bash
# Sets everything up, builds, and runs every test suite (window suites under Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2
cd build
ctest --output-on-failure -j2
