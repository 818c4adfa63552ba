#!/usr/bin/env bash
# Runs every test in three build trees and prints how long each stage took:
#   build-asan     (Debug, AddressSanitizer + UndefinedBehaviorSanitizer): every unit and
#                  end-to-end test;
#   build-fuzz     (clang, libFuzzer): each fuzz target for a short bounded run;
#   build-release  (Release, -O3, warnings as errors): the shipped programs, the Debian
#                  package check, the benchmarks' smoke runs and the window-manager test.
# Ends with one line "tests: N passed, N failed" over all three trees.
set -uo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-$(nproc)}

stages=()
passed=0
failed=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT

summary() {
  echo
  echo "== stage timings"
  for line in "${stages[@]}"; do echo "  $line"; done
  echo "tests: $passed passed, $failed failed"
}

# stage NAME COMMAND...: runs the command, records its time; a failure ends the run.
stage() {
  local name=$1
  shift
  local start=$SECONDS
  echo "== $name"
  "$@" 2>&1 | tee "$log"
  local status=${PIPESTATUS[0]}
  local took=$((SECONDS - start))
  stages+=("$(printf '%-14s %4d s (%d:%02d)%s' "$name" "$took" $((took / 60)) $((took % 60)) \
    "$([ "$status" -eq 0 ] || echo '  FAILED')")")
  # CTest's closing line: "100% tests passed, 0 tests failed out of 412".
  local counts
  counts=$(sed -n 's/.* \([0-9]*\) tests failed out of \([0-9]*\).*/\1 \2/p' "$log" | tail -1)
  if [ -n "$counts" ]; then
    set -- $counts
    failed=$((failed + $1))
    passed=$((passed + $2 - $1))
  fi
  if [ "$status" -ne 0 ]; then
    summary
    exit "$status"
  fi
}

total_start=$SECONDS
stage deps make --no-print-directory deps
stage build-asan make --no-print-directory build-asan-only JOBS="$JOBS"
stage test-asan make --no-print-directory run-asan JOBS="$JOBS"
stage build-fuzz make --no-print-directory build-fuzz-only JOBS="$JOBS"
stage test-fuzz make --no-print-directory run-fuzz JOBS="$JOBS"
stage build-release make --no-print-directory build-release-only JOBS="$JOBS"
stage test-release make --no-print-directory run-release JOBS="$JOBS"
took=$((SECONDS - total_start))
stages+=("$(printf '%-14s %4d s (%d:%02d)' total "$took" $((took / 60)) $((took % 60)))")
summary
