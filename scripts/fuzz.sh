#!/usr/bin/env bash
# Builds the fuzz targets of the byte parsers with clang (cmake --preset fuzz)
# and runs each for the given time, starting from the corpus of real messages
# in fuzz/corpus (never written to: new inputs go to build-fuzz/corpus).
# Prints every target's executions and coverage; fails if any target finds
# something (the input is kept in build-fuzz/findings).
#
# Usage: fuzz.sh [SECONDS_PER_TARGET] [TARGET...]   (default 30 s, every target)
#        FUZZ_RUNS=N fuzz.sh ...   also stops a target after N executions
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(odometer coordinate_answer data_request rc_command discovery camera_settings
                                     manifest s3_answer upload_state)

declare -A max_len=([odometer]=512 [coordinate_answer]=2048 [data_request]=1024
                    [rc_command]=1024 [discovery]=128 [camera_settings]=2048
                    [manifest]=8192 [s3_answer]=8192 [upload_state]=4096)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
mkdir -p build-fuzz/findings
status=0
for t in "${targets[@]}"; do
  work=build-fuzz/corpus/$t
  mkdir -p "$work"
  options=(-max_total_time="$seconds" -max_len="${max_len[$t]}" -timeout=10 -print_final_stats=1
           -artifact_prefix="build-fuzz/findings/$t-")
  [ -f "fuzz/$t.dict" ] && options+=(-dict="fuzz/$t.dict")
  [ -n "${FUZZ_RUNS:-}" ] && options+=(-runs="$FUZZ_RUNS")
  log=build-fuzz/$t.log
  if ./build-fuzz/fuzz/"${t}_fuzz" "${options[@]}" "$work" "fuzz/corpus/$t" >"$log" 2>&1; then
    result=clean
  else
    result="FINDING (see $log and build-fuzz/findings)"
    status=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  coverage=$(grep -E '^#[0-9]+' "$log" | tail -n 1 | sed -n 's/.*cov: \([0-9]*\) ft: \([0-9]*\).*/\1 edges, \2 features/p')
  echo "fuzz $t: ${runs:-?} executions in up to ${seconds} s, coverage ${coverage:-?}: $result"
done
exit $status
