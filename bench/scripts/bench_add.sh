#!/usr/bin/env bash
# The program's longest event-loop stall, seen from outside by a "ping" on
# its command socket every 5 ms, while `tavorindle add` hands it large
# texts: one of 50 MB, and 20 of 1 MB at once. Each binary given is run in
# turn on one private Xvfb display, medians of the runs.
#
#   bench/scripts/bench_add.sh [runs] path/to/tavorindle [path/to/another/tavorindle ...]
#
# Needs Xvfb, python3.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
runs=${1:-3}
shift
binaries=("$@")
((${#binaries[@]})) || binaries=("$root/build/shell/tavorindle")

source "$root/bench/scripts/private_display.sh" 171 200
python3 - "$work" "$runs" "$(uptime)" "$root/bench/scripts" "${binaries[@]}" <<'PY'
import os, statistics as st, subprocess, sys, time
work, runs, load, scripts, binaries = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5:]
sys.path.insert(0, scripts)
import program_probe

big = ("line of text ünïcødé\n" * 2_400_000).encode()[:50_000_000]
one_mb = [(f"{i} " + "word " * 210_000).encode() for i in range(20)]

def measure(binary, n):
    env = dict(os.environ, XDG_DATA_HOME=f"{work}/data{n}", XDG_RUNTIME_DIR=f"{work}/rt{n}")
    os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
    sock = env["XDG_RUNTIME_DIR"] + "/tavorindle.sock"
    program = subprocess.Popen([binary], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        if subprocess.run([binary, "list"], env=env, capture_output=True).returncode == 0:
            break
        time.sleep(0.1)
    with program_probe.Stalls(sock) as quiet:
        time.sleep(1)
    with program_probe.Stalls(sock) as large:
        subprocess.run([binary, "add"], input=big, env=env, check=True)
    with program_probe.Stalls(sock) as many:
        adds = [subprocess.Popen([binary, "add"], stdin=subprocess.PIPE, env=env) for _ in one_mb]
        for add, text in zip(adds, one_mb):
            add.stdin.write(text); add.stdin.close()
        assert all(add.wait() == 0 for add in adds)
    subprocess.run([binary, "--quit"], env=env)
    program.wait()
    return quiet.worst, large.worst, many.worst

print(f"load: {load.strip()}")
print(f"{'binary':60} {'quiet':>8} {'50 MB add':>10} {'20 x 1 MB':>10}   (longest stall, median of {runs})")
for i, binary in enumerate(binaries):
    results = [measure(binary, f"{i}-{r}") for r in range(runs)]
    q, l, m = (st.median(column) for column in zip(*results))
    print(f"{binary:60} {q:6.1f} ms {l:7.1f} ms {m:7.1f} ms")
PY
