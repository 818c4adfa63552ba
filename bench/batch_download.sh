#!/usr/bin/env bash
# Downloads a batch of 200 pictures of 200 KB to 2 MB from nginx on loopback with
# `lumisift-cli download` and with `curl --parallel`, alternating, and prints the median
# throughput of each and their ratio (goal: at least 0.90 of curl's). It also runs a batch of
# 50 and compares peak resident memory: it should stay flat in the number of files, and a
# batch of 1 000 small pictures, where naming and flushing each file weigh most (files/s).
#
#   bench/batch_download.sh [BUILD_DIR] [RUNS]      (defaults: build 5)
set -euo pipefail

BUILD_DIR=${1:-build}
RUNS=${2:-5}
. "$(dirname "$0")/download_common.sh"
bench_prepare batch_download

mkdir -p "$WORK/www"
python3 - "$WORK/www" <<'PY'
import os, random, sys
random.seed(7)
for i in range(200):
    size = random.randint(200 * 1024, 2 * 1024 * 1024)
    with open(os.path.join(sys.argv[1], f"pic{i:03d}.jpg"), "wb") as f:
        f.write(b"\xff\xd8\xff" + os.urandom(size - 3))  # a JPEG's first bytes
os.makedirs(os.path.join(sys.argv[1], "small"))
for i in range(1000):
    with open(os.path.join(sys.argv[1], "small", f"s{i:04d}.jpg"), "wb") as f:
        f.write(b"\xff\xd8\xff" + os.urandom(4093))
PY
start_nginx "$WORK" "$WORK/www"

PYTHONPATH="$(dirname "$0")" python3 - "$CLI" "$PORT" "$WORK" "$RUNS" "$OUT" <<'PY'
import filecmp, os, statistics, sys
import batch_runs
from batch_runs import batch_settings, fresh
cli, port, work, runs, out = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5]
www = os.path.join(work, "www")
names = sorted(n for n in os.listdir(www) if n.endswith(".jpg"))
urls = [f"http://127.0.0.1:{port}/{n}" for n in names]
total = sum(os.path.getsize(os.path.join(www, n)) for n in names)
cli_dir, curl_dir = os.path.join(out, "cli"), os.path.join(out, "curl")
ini = batch_settings(work, cli_dir)

def run(argv, cwd=None):
    return batch_runs.run(argv, cwd=cwd, name="batch_download")

def curl_argv(batch):
    argv = ["curl", "-s", "--parallel", "--parallel-max", "24"]
    for u in batch:
        argv += ["-o", u.rsplit("/", 1)[1], u]
    return argv

speeds = {"lumisift-cli": [], "curl": []}
cpu = {"lumisift-cli": [], "curl": []}
peak_kb = {}
for round_ in range(runs + 1):  # the first round warms the page cache and is not counted
    fresh(cli_dir)
    elapsed, usage = run([cli, "download", "--ini", ini] + urls)
    if round_:
        speeds["lumisift-cli"].append(total / elapsed / 1e6)
        cpu["lumisift-cli"].append(usage.ru_utime + usage.ru_stime)
        peak_kb.setdefault(len(urls), []).append(usage.ru_maxrss)
    fresh(curl_dir)
    elapsed, usage = run(curl_argv(urls), cwd=curl_dir)
    if round_:
        speeds["curl"].append(total / elapsed / 1e6)
        cpu["curl"].append(usage.ru_utime + usage.ru_stime)
for n in names:
    for folder in (cli_dir, curl_dir):
        if not filecmp.cmp(os.path.join(folder, n), os.path.join(www, n), shallow=False):
            sys.exit(f"batch_download: {folder}/{n} differs from the served file")
for _ in range(runs):
    fresh(cli_dir)
    _, usage = run([cli, "download", "--ini", ini] + urls[:50])
    peak_kb.setdefault(50, []).append(usage.ru_maxrss)

small_urls = [f"http://127.0.0.1:{port}/small/s{i:04d}.jpg" for i in range(1000)]
small_rate = {"lumisift-cli": [], "curl": []}
for round_ in range(runs + 1):
    fresh(cli_dir)
    elapsed, _ = run([cli, "download", "--ini", ini] + small_urls)
    if round_:
        small_rate["lumisift-cli"].append(len(small_urls) / elapsed)
    fresh(curl_dir)
    elapsed, _ = run(curl_argv(small_urls), cwd=curl_dir)
    if round_:
        small_rate["curl"].append(len(small_urls) / elapsed)

cli_mb, curl_mb = statistics.median(speeds["lumisift-cli"]), statistics.median(speeds["curl"])
ratio = cli_mb / curl_mb
print(f"batch_download: {len(urls)} files, {total / 1e6:.0f} MB over loopback, {runs} alternating runs each")
cli_cpu, curl_cpu = statistics.median(cpu["lumisift-cli"]), statistics.median(cpu["curl"])
print(f"  lumisift-cli download  median {cli_mb:8.1f} MB/s  cpu {cli_cpu:.3f} s")
print(f"  curl --parallel        median {curl_mb:8.1f} MB/s  cpu {curl_cpu:.3f} s (24 at once)")
print(f"  ratio {ratio:.2f} (goal >= 0.90) {'ok' if ratio >= 0.9 else 'BELOW GOAL'}")
small, large = statistics.median(peak_kb[50]), statistics.median(peak_kb[len(urls)])
print(f"  peak RSS: 50 files {small:.0f} KB, {len(urls)} files {large:.0f} KB "
      f"({'flat' if large <= small * 1.25 else 'GROWS'})")
print(f"  1000 small pictures: lumisift-cli {statistics.median(small_rate['lumisift-cli']):.0f} "
      f"files/s, curl {statistics.median(small_rate['curl']):.0f} files/s")
PY
