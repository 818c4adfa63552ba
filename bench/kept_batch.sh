#!/usr/bin/env bash
# Downloads 1 000 pictures of 10-40 KB from one host (nginx on loopback) with
# `lumisift-cli download` at its default settings and with curl, alternating, at each round
# trip of RTTS (a user-space relay, bench/latency_proxy.py, in front of nginx; 0 goes
# straight to nginx), over http, https offering HTTP/1.1 only, and https offering HTTP/2.
# curl runs as wide as the goal it sets: `--parallel-max 8` over HTTP/1.1 (a browser's
# connections a host), `-Z --parallel-max 50 --http2` over HTTP/2 (streams on one
# connection). It prints the median time of each, their ratio (goal: at least 1.0 of curl's
# speed), and the peak resident memory of lumisift-cli (goal over https: < 18 MB); the last
# lines are a table for the README.
#
#   bench/kept_batch.sh [BUILD_DIR] [RUNS]      (defaults: build 3; RTTS="0 20 80")
set -euo pipefail

BUILD_DIR=${1:-build}
RUNS=${2:-3}
RTTS=${RTTS:-0 20 80}
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

PYTHONPATH="$(dirname "$0")" python3 - "$CLI" "$PORT" "$TLS_PORT" "$H2_PORT" "$WORK" "$RUNS" \
    "$OUT" "$RTTS" <<'PY'
import filecmp, os, statistics, subprocess, sys
import batch_runs
from batch_runs import batch_settings, fresh
cli, port, tls_port, h2_port, work, runs, out, rtts = sys.argv[1:9]
runs = int(runs)
www = os.path.join(work, "www")
names = sorted(os.listdir(www))
ca = os.path.join(work, "certs", "ca.pem")
proxy_script = os.path.join(os.path.dirname(os.path.abspath(batch_runs.__file__)),
                            "latency_proxy.py")
# As on a desktop: a bundle named in SSL_CERT_FILE (this machine names one for its own
# tools) would be read whole by every run, while curl is given only the test CA.
env = {k: v for k, v in os.environ.items() if k != "SSL_CERT_FILE"}
env["LUMISIFT_CA_FILE"] = ca
cli_dir, curl_dir = os.path.join(out, "cli"), os.path.join(out, "curl")
ini = batch_settings(work, cli_dir, fast=False)

# (name, nginx port, curl's own options, curl's description)
kinds = (("http", port, ["--parallel-max", "8"], "curl --parallel-max 8"),
         ("https h1", tls_port, ["--http1.1", "--parallel-max", "8"],
          "curl --parallel-max 8 --http1.1"),
         ("https h2", h2_port, ["--http2", "--parallel-max", "50"],
          "curl -Z --parallel-max 50 --http2"))


def run(argv, cwd=None):
    return batch_runs.run(argv, cwd=cwd, env=env, name="kept_batch")


def start_proxy(target, rtt):
    """A latency relay in front of target; it ends when its standard input closes."""
    proxy = subprocess.Popen([sys.executable, proxy_script, "--target", str(target),
                              "--rtt-ms", str(rtt)], stdin=subprocess.PIPE,
                             stdout=subprocess.PIPE, text=True)
    return proxy, int(proxy.stdout.readline())


table = []
warmed = False
for rtt in (int(r) for r in rtts.split()):
    for kind, target, curl_options, curl_name in kinds:
        proxy, p = (None, target) if rtt == 0 else start_proxy(target, rtt)
        scheme = kind.split()[0]
        host = "127.0.0.1" if scheme == "http" else "localhost"
        urls = [f"{scheme}://{host}:{p}/{n}" for n in names]
        curl = ["curl", "-s", "--cacert", ca, "--parallel"] + curl_options
        for u in urls:
            curl += ["-o", u.rsplit("/", 1)[1], u]
        times = {"lumisift-cli": [], "curl": []}
        peak_kb = []
        # The very first round warms the page cache and is not counted.
        for round_ in range(runs + (0 if warmed else 1)):
            counted = warmed or round_ > 0
            fresh(cli_dir)
            elapsed, usage = run([cli, "download", "--ini", ini] + urls)
            if counted:
                times["lumisift-cli"].append(elapsed)
                peak_kb.append(usage.ru_maxrss)
            fresh(curl_dir)
            elapsed, _ = run(curl, cwd=curl_dir)
            if counted:
                times["curl"].append(elapsed)
        warmed = True
        if proxy:
            proxy.stdin.close()
            proxy.wait()
        for n in names:
            if not filecmp.cmp(os.path.join(cli_dir, n), os.path.join(www, n), shallow=False):
                sys.exit(f"kept_batch: {n} differs from the served file")
        ours, theirs = statistics.median(times["lumisift-cli"]), statistics.median(times["curl"])
        ratio = theirs / ours
        peak = statistics.median(peak_kb) / 1024
        spread = {k: f"{min(v):.2f}-{max(v):.2f}" for k, v in times.items()}
        print(f"kept_batch {kind}, {rtt} ms round trip: 1000 pictures of 10-40 KB, "
              f"{runs} alternating runs each")
        print(f"  lumisift-cli download  median {ours:.3f} s (spread {spread['lumisift-cli']})")
        print(f"  {curl_name:<22} median {theirs:.3f} s (spread {spread['curl']})")
        print(f"  speed ratio {ratio:.2f} (goal >= 1.0) {'ok' if ratio >= 1.0 else 'BELOW GOAL'}")
        print(f"  peak RSS {peak:.1f} MB" + (" (goal < 18 MB)" if scheme == "https" else ""),
              flush=True)
        table.append(f"| {rtt} ms | {kind} | {ours:.2f} s ({spread['lumisift-cli']}) | "
                     f"{theirs:.2f} s ({spread['curl']}), `{curl_name}` | {ratio:.2f}× | "
                     f"{peak:.1f} MB |")
print("| round trip | scheme | lumisift-cli download | curl | ratio | peak |")
print("|---|---|---|---|---|---|")
print("\n".join(table))
PY
