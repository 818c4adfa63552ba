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
app_pid=""

# Children run in the background and the script waits for them, so that Ctrl-C or a TERM
# reaches the traps at once instead of after the window closes.
stop_all() {
  for pid in $app_pid $sandbox_pid; do
    if kill -0 "$pid" 2>/dev/null; then
      kill "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
    fi
  done
  rm -f "$sandbox_out"
}
trap stop_all EXIT
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
  "$BUILD/src/shell/lumisift" "$@" &
  app_pid=$!
else
  phrase=${DEMO_PHRASE:-sunset}
  echo "No display: searching for \"$phrase\" with lumisift-cli for up to ${DEMO_SECONDS:-20} seconds."
  echo "Size	Address"
  "$BUILD/src/cli/lumisift-cli" search "$phrase" --for "${DEMO_SECONDS:-20}" --until-idle 3 &
  app_pid=$!
fi
wait "$app_pid"
