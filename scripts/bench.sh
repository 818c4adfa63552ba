#!/usr/bin/env bash
# Runs every benchmark: the Google Benchmark programs built under BUILD_DIR/bench, then the
# benchmark scripts in bench/ (for example the 300 MB download against curl).
#
#   scripts/bench.sh [BUILD_DIR]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build}

status=0
for program in "$BUILD_DIR"/bench/*; do
  [ -f "$program" ] && [ -x "$program" ] || continue
  echo "== $(basename "$program")"
  "$program" || status=1
done
for script in bench/*.sh; do
  [ -x "$script" ] || continue
  echo "== $(basename "$script")"
  "$script" "$BUILD_DIR" || status=1
done
exit $status
