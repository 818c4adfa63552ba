#!/usr/bin/env bash
# Runs Lumisift against its stand-in web: starts lumisift-sandbox on a free loopback port,
# points Lumisift at it through the LUMISIFT_* variables and opens the main window. Without
# a display it runs a headless search with lumisift-cli for a while instead and prints the
# pictures found. Closing the window or Ctrl-C stops the sandbox as well.
#   DEMO_PHRASE   phrase of the headless search (default: sunset)
#   DEMO_SECONDS  how long the headless search runs at most (default: 20)
#   DEMO_TLS=1    serve the stand-in web over https, with a throw-away CA made for this run
#                 and trusted through LUMISIFT_CA_FILE
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/sandbox-env.sh
BUILD=${BUILD:-build}
sandbox_pid=""
app_pid=""
certs=""

# Children run in the background and the script waits for them, so that Ctrl-C or a TERM
# reaches the traps at once instead of after the window closes.
stop_all() {
  for pid in $app_pid $sandbox_pid; do
    if kill -0 "$pid" 2>/dev/null; then
      kill "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
    fi
  done
  [ -z "$certs" ] || rm -rf "$certs"
}
trap stop_all EXIT
trap 'exit 130' INT TERM

tls_args=()
if [ "${DEMO_TLS:-0}" = 1 ]; then
  certs=$(mktemp -d)
  tests/net/tls/make_certs.sh "$certs" >/dev/null 2>&1
  tls_args=(--tls-cert "$certs/good.pem" --tls-key "$certs/good.key")
  export LUMISIFT_CA_FILE="$certs/ca.pem"
fi
start_sandbox "$BUILD/tools/sandbox/lumisift-sandbox" "${tls_args[@]}"

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
