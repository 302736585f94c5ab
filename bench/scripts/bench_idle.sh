#!/usr/bin/env bash
# What the program costs at rest on X11: started on a private Xvfb display
# with an empty clipboard, left alone for a while, then its wake-ups (the
# voluntary context switches of all its threads) and its CPU time (on-CPU
# nanoseconds from schedstat) over that time. Every binary given runs that
# many copies side by side, each with folders of its own; medians.
#
#   bench/scripts/bench_idle.sh SECONDS COPIES path/to/tavorindle [path/to/another ...]
#
# Needs Xvfb, python3.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-60}
copies=${2:-3}
shift 2
binaries=("$@")
((${#binaries[@]})) || binaries=("$root/build/shell/tavorindle")

source "$root/bench/scripts/private_display.sh" 201 230
python3 - "$work" "$seconds" "$copies" "$(uptime)" "${binaries[@]}" <<'PY'
import glob, os, statistics as st, subprocess, sys, time
work, seconds, copies, load, binaries = sys.argv[1], float(sys.argv[2]), int(sys.argv[3]), sys.argv[4], sys.argv[5:]

def sample(pid):
    """Per thread: voluntary context switches and on-CPU nanoseconds."""
    tasks = {}
    for task in glob.glob(f"/proc/{pid}/task/*"):
        try:
            with open(f"{task}/status") as f:
                switches = sum(int(l.split()[1]) for l in f if l.startswith("voluntary_ctxt_switches"))
            with open(f"{task}/schedstat") as f:
                cpu = int(f.read().split()[0])
        except FileNotFoundError:  # the thread ended meanwhile
            continue
        tasks[task] = (switches, cpu)
    return tasks

def delta(before, after):
    """What the threads did in between (a thread pool's idle thread may end,
    taking its counts with it: only what lives at the end counts)."""
    switches = cpu = 0
    for task, (s1, c1) in after.items():
        s0, c0 = before.get(task, (0, 0))
        switches += s1 - s0
        cpu += c1 - c0
    return switches, cpu

runs = []
for i, binary in enumerate(binaries):
    for c in range(copies):
        env = dict(os.environ, XDG_DATA_HOME=f"{work}/d{i}-{c}", XDG_RUNTIME_DIR=f"{work}/r{i}-{c}")
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
        runs.append((binary, env, subprocess.Popen([binary], env=env, stdout=subprocess.DEVNULL,
                                                   stderr=subprocess.DEVNULL)))
for binary, env, _ in runs:
    for _ in range(100):
        if subprocess.run([binary, "list"], env=env, capture_output=True).returncode == 0:
            break
        time.sleep(0.1)
time.sleep(3)  # start-up work is over
before = [sample(p.pid) for _, _, p in runs]
time.sleep(seconds)
after = [sample(p.pid) for _, _, p in runs]
for binary, env, p in runs:
    subprocess.run([binary, "--quit"], env=env)
    p.wait()

print(f"load: {load.strip()}")
print(f"{'binary':60} {'wake-ups/min':>13} {'CPU ms/min':>11}   (median of {copies} copies, {seconds:.0f} s at rest)")
for i, binary in enumerate(binaries):
    rows = range(i * copies, (i + 1) * copies)
    deltas = [delta(before[r], after[r]) for r in rows]
    wakes = st.median(d[0] * 60 / seconds for d in deltas)
    cpu = st.median(d[1] / 1e6 * 60 / seconds for d in deltas)
    print(f"{binary:60} {wakes:13.0f} {cpu:11.2f}")
PY
