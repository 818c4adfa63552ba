#!/usr/bin/env bash
# Downloads 1 000 pictures of 10-40 KB from one host (nginx on loopback) with
# `lumisift-cli download` and with `curl --parallel --parallel-max 25`, alternating, over
# http and then over https (a throw-away CA trusted by both), and prints the median time of
# each, their ratio (goal: at least 1.0 of curl's speed) and the peak resident memory of
# lumisift-cli (goal: <= 20 MB). Both keep their connections between pictures.
#
#   bench/kept_batch.sh [BUILD_DIR] [RUNS]      (defaults: build 5)
set -euo pipefail

BUILD_DIR=${1:-build}
RUNS=${2:-5}
. "$(dirname "$0")/download_common.sh"
bench_prepare kept_batch

mkdir -p "$WORK/www" "$WORK/certs"
python3 - "$WORK/www" <<'PY'
import os, random, sys
random.seed(11)
for i in range(1000):
    with open(os.path.join(sys.argv[1], f"k{i:04d}.jpg"), "wb") as f:
        f.write(b"\xff\xd8\xff" + os.urandom(random.randint(10 * 1024, 40 * 1024) - 3))
PY
"$(dirname "$0")/../tests/net/tls/make_certs.sh" "$WORK/certs" >/dev/null 2>&1
start_nginx "$WORK" "$WORK/www" "$WORK/certs"

PYTHONPATH="$(dirname "$0")" python3 - "$CLI" "$PORT" "$TLS_PORT" "$WORK" "$RUNS" "$OUT" <<'PY'
import filecmp, os, statistics, sys
import batch_runs
from batch_runs import batch_settings, fresh
cli, port, tls_port, work, runs, out = sys.argv[1:7]
runs = int(runs)
www = os.path.join(work, "www")
names = sorted(os.listdir(www))
ca = os.path.join(work, "certs", "ca.pem")
# As on a desktop: a bundle named in SSL_CERT_FILE (this machine names one for its own
# tools) would be read whole by every run, while curl is given only the test CA.
env = {k: v for k, v in os.environ.items() if k != "SSL_CERT_FILE"}
env["LUMISIFT_CA_FILE"] = ca
cli_dir, curl_dir = os.path.join(out, "cli"), os.path.join(out, "curl")
ini = batch_settings(work, cli_dir)

def run(argv, cwd=None):
    return batch_runs.run(argv, cwd=cwd, env=env, name="kept_batch")

for scheme, p in (("http", port), ("https", tls_port)):
    host = "127.0.0.1" if scheme == "http" else "localhost"
    urls = [f"{scheme}://{host}:{p}/{n}" for n in names]
    curl = ["curl", "-s", "--cacert", ca, "--parallel", "--parallel-max", "25"]
    for u in urls:
        curl += ["-o", u.rsplit("/", 1)[1], u]
    times = {"lumisift-cli": [], "curl": []}
    peak_kb = []
    for round_ in range(runs + 1):  # the first round warms the page cache and is not counted
        fresh(cli_dir)
        elapsed, usage = run([cli, "download", "--ini", ini] + urls)
        if round_:
            times["lumisift-cli"].append(elapsed)
            peak_kb.append(usage.ru_maxrss)
        fresh(curl_dir)
        elapsed, _ = run(curl, cwd=curl_dir)
        if round_:
            times["curl"].append(elapsed)
    for n in names:
        if not filecmp.cmp(os.path.join(cli_dir, n), os.path.join(www, n), shallow=False):
            sys.exit(f"kept_batch: {n} differs from the served file")
    ours, theirs = statistics.median(times["lumisift-cli"]), statistics.median(times["curl"])
    ratio = theirs / ours
    print(f"kept_batch {scheme}: 1000 pictures of 10-40 KB, {runs} alternating runs each")
    print(f"  lumisift-cli download  median {ours:.3f} s (spread {min(times['lumisift-cli']):.3f}-{max(times['lumisift-cli']):.3f})")
    print(f"  curl --parallel 25     median {theirs:.3f} s (spread {min(times['curl']):.3f}-{max(times['curl']):.3f})")
    print(f"  speed ratio {ratio:.2f} (goal >= 1.0) {'ok' if ratio >= 1.0 else 'BELOW GOAL'}")
    print(f"  peak RSS {statistics.median(peak_kb) / 1024:.1f} MB (goal <= 20 MB)")
PY
