#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for MINUTES minutes each, growing its corpus in
# tests/fuzz/corpus/<target>/ (seeded from tests/fuzz/seeds/<target>/ and, for the picture
# target, the test pictures), then prints each target's inputs a second, coverage and peak
# memory. Crashes are written to tests/fuzz/corpus/crashes/.
#
#   scripts/fuzz-long.sh BUILD_DIR MINUTES
set -uo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build-fuzz}
MINUTES=${2:-10}

corpus_root=tests/fuzz/corpus
mkdir -p "$corpus_root/crashes"
results=()
status=0
for fuzzer in "$BUILD_DIR"/tests/fuzz/fuzz_*; do
  [ -f "$fuzzer" ] && [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  corpus=$corpus_root/$name
  mkdir -p "$corpus"
  seeds=()
  [ -d "tests/fuzz/seeds/$name" ] && seeds+=("tests/fuzz/seeds/$name")
  [ "$name" = fuzz_picture ] && seeds+=(tests/picture/pictures)
  log=$(mktemp)
  echo "== $name for $MINUTES min"
  QT_QPA_PLATFORM=offscreen "$fuzzer" "$corpus" "${seeds[@]}" \
    -max_total_time=$((MINUTES * 60)) -print_final_stats=1 -rss_limit_mb=2048 -timeout=10 \
    -artifact_prefix="$corpus_root/crashes/$name-" >"$log" 2>&1
  rc=$?
  [ $rc -eq 0 ] || { status=1; tail -40 "$log"; }
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log")
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  features=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  results+=("$(printf '%-14s %9s inputs/s %11s runs  cov %6s  ft %7s  peak %5s MB  corpus %5s%s' \
    "$name" "${rate:-?}" "${runs:-?}" "${cov:-?}" "${features:-?}" "${rss:-?}" \
    "$(find "$corpus" -type f | wc -l)" "$([ $rc -eq 0 ] || echo '  CRASH')")")
  rm -f "$log"
done
echo
echo "== fuzz-long: $MINUTES min per target"
for line in "${results[@]}"; do echo "  $line"; done
exit $status
