#!/usr/bin/env bash
# Downloads the same 300 MB file from nginx on loopback with `lumisift-cli get -o` and with
# `curl -o`, alternating, and prints the median throughput of each, their ratio (goal: at
# least 0.90 of curl's) and the peak resident memory of each run of lumisift-cli (it should
# stay flat: the body is written as it arrives, never kept). The same runs follow over https
# (TLS on loopback, a throw-away CA trusted by both), with the CPU time of one handshake
# (a tiny file fetched) of each beside the other.
#
#   bench/http_download.sh [BUILD_DIR] [RUNS]      (defaults: build 7)
set -euo pipefail

BUILD_DIR=${1:-build}
RUNS=${2:-7}
. "$(dirname "$0")/download_common.sh"
bench_prepare http_download

mkdir -p "$WORK/www" "$WORK/certs"
head -c $((300 * 1024 * 1024)) /dev/urandom > "$WORK/www/big.bin"
echo x > "$WORK/www/tiny.txt"
"$(dirname "$0")/../tests/net/tls/make_certs.sh" "$WORK/certs" >/dev/null 2>&1
start_nginx "$WORK" "$WORK/www" "$WORK/certs"

python3 - "$CLI" "$PORT" "$TLS_PORT" "$WORK" "$RUNS" "$OUT" <<'PY'
import os, statistics, subprocess, sys, time, filecmp
cli, port, tls_port, work, runs, out = sys.argv[1:7]
runs = int(runs)
ca = os.path.join(work, "certs", "ca.pem")
# As on a desktop: a bundle named in SSL_CERT_FILE (this machine names one for its own
# tools) would be read whole by every run, while curl is given only the test CA.
env = {k: v for k, v in os.environ.items() if k != "SSL_CERT_FILE"}
env["LUMISIFT_CA_FILE"] = ca
size = os.path.getsize(os.path.join(work, "www", "big.bin"))

def measure(commands, count):
    """Runs each command count times, alternating (after one warm-up round); returns
    seconds, CPU seconds and peak RSS (KB) per command."""
    result = {name: ([], [], []) for name in commands}
    for run in range(count + 1):
        for name, argv in commands.items():
            start = time.perf_counter()
            proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
            _, status, usage = os.wait4(proc.pid, 0)
            elapsed = time.perf_counter() - start
            if os.waitstatus_to_exitcode(status) != 0:
                sys.exit(f"http_download: {name} failed: {' '.join(argv)}")
            if run > 0:
                result[name][0].append(elapsed)
                result[name][1].append(usage.ru_utime + usage.ru_stime)
                result[name][2].append(usage.ru_maxrss)
    return result

def download(scheme, port):
    url = f"{scheme}://{'localhost' if scheme == 'https' else '127.0.0.1'}:{port}/big.bin"
    r = measure({
        "lumisift-cli": [cli, "get", url, "-o", os.path.join(out, "cli.out")],
        "curl": ["curl", "-s", "--cacert", ca, "-o", os.path.join(out, "curl.out"), url],
    }, runs)
    for name in ("cli.out", "curl.out"):
        if not filecmp.cmp(os.path.join(out, name), os.path.join(work, "www", "big.bin"), shallow=False):
            sys.exit(f"http_download: {name} differs from the served file")
    mb = {n: statistics.median(size / t / 1e6 for t in r[n][0]) for n in r}
    cpu = {n: statistics.median(r[n][1]) for n in r}
    peak = r["lumisift-cli"][2]
    ratio = mb["lumisift-cli"] / mb["curl"]
    print(f"http_download: 300 MB over loopback ({scheme}), {runs} alternating runs each")
    print(f"  lumisift-cli get -o  median {mb['lumisift-cli']:8.1f} MB/s  cpu {cpu['lumisift-cli']:.3f} s  peak RSS {min(peak)}-{max(peak)} KB")
    print(f"  curl -o              median {mb['curl']:8.1f} MB/s  cpu {cpu['curl']:.3f} s")
    print(f"  ratio {ratio:.2f} (goal >= 0.90) {'ok' if ratio >= 0.9 else 'BELOW GOAL'}")

download("http", port)
download("https", tls_port)
url = f"https://localhost:{tls_port}/tiny.txt"
r = measure({"lumisift-cli": [cli, "get", url], "curl": ["curl", "-s", "--cacert", ca, url]}, runs)
print("  one https request of a tiny file (handshake, CA store and process start), median CPU:")
print(f"    lumisift-cli {statistics.median(r['lumisift-cli'][1]) * 1000:.1f} ms, curl {statistics.median(r['curl'][1]) * 1000:.1f} ms")
PY
