#!/usr/bin/env bash
# Runs Lumisift against its stand-in web: starts lumisift-sandbox on a free loopback port,
# points Lumisift at it through the LUMISIFT_* variables and opens the main window. Without
# a display it runs a headless search with lumisift-cli for a while instead and prints the
# pictures found. Closing the window or Ctrl-C stops the sandbox as well.
#   DEMO_PHRASE   phrase of the headless search (default: sunset)
#   DEMO_SECONDS  how long the headless search runs at most (default: 20)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
sandbox_out=$(mktemp)
sandbox_pid=""

stop_sandbox() {
  if [ -n "$sandbox_pid" ] && kill -0 "$sandbox_pid" 2>/dev/null; then
    kill "$sandbox_pid" 2>/dev/null || true
    wait "$sandbox_pid" 2>/dev/null || true
  fi
  rm -f "$sandbox_out"
}
trap stop_sandbox EXIT
trap 'exit 130' INT TERM

"$BUILD/tools/sandbox/lumisift-sandbox" --port 0 >"$sandbox_out" 2>/dev/null &
sandbox_pid=$!

# The sandbox prints its address and the five variables once it listens.
for _ in $(seq 200); do
  grep -q '^LUMISIFT_MAKER_HOST=' "$sandbox_out" && break
  kill -0 "$sandbox_pid" 2>/dev/null || { echo "lumisift-sandbox did not start" >&2; exit 1; }
  sleep 0.1
done
grep -q '^LUMISIFT_MAKER_HOST=' "$sandbox_out" || { echo "lumisift-sandbox gave no address" >&2; exit 1; }
while IFS= read -r line; do
  case $line in
    LUMISIFT_*=*) export "${line?}" ;;
    *) echo "$line" ;;
  esac
done <"$sandbox_out"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  "$BUILD/src/shell/lumisift" "$@"
else
  phrase=${DEMO_PHRASE:-sunset}
  echo "No display: searching for \"$phrase\" with lumisift-cli for up to ${DEMO_SECONDS:-20} seconds."
  echo "Size	Address"
  "$BUILD/src/cli/lumisift-cli" search "$phrase" --for "${DEMO_SECONDS:-20}" --until-idle 3
fi
