#!/usr/bin/env bash
# Downloads the same 100 MB file from nginx on loopback with `lumisift-cli get -o` and with
# `curl -o`, alternating, and prints the median throughput of each, their ratio (goal: at
# least 0.90 of curl's) and the peak resident memory of each run of lumisift-cli (it should
# stay flat: the body is written as it arrives, never kept).
#
#   bench/http_download.sh [BUILD_DIR] [RUNS]      (defaults: build 7)
set -euo pipefail

BUILD_DIR=${1:-build}
RUNS=${2:-7}
. "$(dirname "$0")/download_common.sh"
bench_prepare http_download

mkdir -p "$WORK/www"
head -c $((100 * 1024 * 1024)) /dev/urandom > "$WORK/www/big.bin"
start_nginx "$WORK" "$WORK/www"

URL="http://127.0.0.1:$PORT/big.bin"
python3 - "$CLI" "$URL" "$WORK" "$RUNS" "$OUT" <<'PY'
import os, statistics, subprocess, sys, time, filecmp
cli, url, work, runs, out = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5]
size = os.path.getsize(os.path.join(work, "www", "big.bin"))
commands = {
    "lumisift-cli": [cli, "get", url, "-o", os.path.join(out, "cli.out")],
    "curl": ["curl", "-s", "-o", os.path.join(out, "curl.out"), url],
}
speeds = {name: [] for name in commands}
cpu = {name: [] for name in commands}
peak_kb = []
for run in range(runs + 1):  # the first round warms the page cache and is not counted
    for name, argv in commands.items():
        start = time.perf_counter()
        proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(proc.pid, 0)
        elapsed = time.perf_counter() - start
        if os.waitstatus_to_exitcode(status) != 0:
            sys.exit(f"http_download: {name} failed")
        if run == 0:
            continue
        speeds[name].append(size / elapsed / 1e6)
        cpu[name].append(usage.ru_utime + usage.ru_stime)
        if name == "lumisift-cli":
            peak_kb.append(usage.ru_maxrss)
for name in ("cli.out", "curl.out"):
    if not filecmp.cmp(os.path.join(out, name), os.path.join(work, "www", "big.bin"), shallow=False):
        sys.exit(f"http_download: {name} differs from the served file")
cli_mb, curl_mb = statistics.median(speeds["lumisift-cli"]), statistics.median(speeds["curl"])
ratio = cli_mb / curl_mb
print(f"http_download: 100 MB over loopback, {runs} alternating runs each")
cli_cpu, curl_cpu = statistics.median(cpu["lumisift-cli"]), statistics.median(cpu["curl"])
print(f"  lumisift-cli get -o  median {cli_mb:8.1f} MB/s  cpu {cli_cpu:.3f} s  peak RSS {min(peak_kb)}-{max(peak_kb)} KB")
print(f"  curl -o              median {curl_mb:8.1f} MB/s  cpu {curl_cpu:.3f} s")
print(f"  ratio {ratio:.2f} (goal >= 0.90) {'ok' if ratio >= 0.9 else 'BELOW GOAL'}")
PY
