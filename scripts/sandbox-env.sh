# Sourced by scripts that run Lumisift against its stand-in web.
# start_sandbox EXE [ARGS...]: starts lumisift-sandbox on a free loopback port in the
# background (its pid in sandbox_pid, for the caller to stop), waits until it listens,
# exports the LUMISIFT_* variables it prints and echoes its other lines.
start_sandbox() {
  local exe=$1 out line
  shift
  out=$(mktemp)
  "$exe" --port 0 "$@" >"$out" 2>/dev/null &
  sandbox_pid=$!
  for _ in $(seq 200); do
    grep -q '^LUMISIFT_MAKER_HOST=' "$out" && break
    kill -0 "$sandbox_pid" 2>/dev/null || { echo "lumisift-sandbox did not start" >&2; rm -f "$out"; return 1; }
    sleep 0.1
  done
  grep -q '^LUMISIFT_MAKER_HOST=' "$out" || { echo "lumisift-sandbox gave no address" >&2; rm -f "$out"; return 1; }
  while IFS= read -r line; do
    case $line in
      LUMISIFT_*=*) export "${line?}" ;;
      *) echo "$line" ;;
    esac
  done <"$out"
  rm -f "$out"
}
