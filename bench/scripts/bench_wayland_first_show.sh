#!/usr/bin/env bash
# The panel's first and later shows with Qt on Wayland itself (no XWayland:
# DISPLAY unset) in a headless sway: for each binary, fresh programs (the
# binaries alternating) with 200 items in the history; each show starts
# `tavorindle --toggle` and ends at the program's "panel-painted" mark (the
# panel painted and handed to the compositor). A Wayland client cannot watch
# another's frames, so the end is the program's own mark; the start is the
# command's, from outside.
#
#   bench/scripts/bench_wayland_first_show.sh RUNS SHOWS BINARY...
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
runs=$1
shows=$2
shift 2
binaries=()
for b in "$@"; do binaries+=("$(realpath "$b")"); done

source "$root/bench/scripts/private_sway.sh"
mkdir -m 0755 "$work/shows"
[[ -n "${run_as[*]}" ]] && chown nobody:nogroup "$work/shows"
env -i PATH="$PATH" HOME="$work/shows" XDG_RUNTIME_DIR="$work/runtime" WAYLAND_DISPLAY="$socket" \
  XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=sway "${run_as[@]}" \
  /usr/bin/python3 - "$work/shows" "$root" "$runs" "$shows" "${binaries[@]}" <<'PY'
import os, statistics as st, subprocess, sys, time

work, root, runs, shows, binaries = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5:]


def marks(log, name):
    with open(log) as f:
        return [int(line.split()[2]) for line in f if line.startswith(f"tavorindle-trace {name} ")]


def wait_for(condition, what, bound=10):
    start = time.time()
    while not condition():
        if time.time() - start > bound:
            sys.exit(f"timed out waiting for {what}")
        time.sleep(0.001)


times = {b: ([], []) for b in binaries}
for run in range(runs):
    for i, binary in enumerate(binaries):
        home = f"{work}/{i}-{run}"
        os.makedirs(f"{home}/data/Tavorindle")
        subprocess.run(["python3", f"{root}/bench/scripts/make_history.py",
                        f"{home}/data/Tavorindle/history.json", "200"], check=True)
        env = dict(os.environ, HOME=home, XDG_DATA_HOME=f"{home}/data", TAVORINDLE_TRACE="1")
        log = f"{home}/log"
        with open(log, "w") as err:
            program = subprocess.Popen([binary], env=env, stderr=err, stdout=subprocess.DEVNULL)
        wait_for(lambda: marks(log, "ready"), "the program to start", 20)
        # A person reaches for the key a second or more after the start.
        time.sleep(1)
        for show in range(shows):
            before = len(marks(log, "panel-painted"))
            t0 = time.time()
            subprocess.run([binary, "--toggle"], env=env, check=True)
            wait_for(lambda: len(marks(log, "panel-painted")) > before, "the panel")
            (times[binary][0] if show == 0 else times[binary][1]).append(
                marks(log, "panel-painted")[-1] / 1e6 - t0)
            time.sleep(0.2)
            subprocess.run([binary, "--toggle"], env=env, check=True)
            time.sleep(0.3)
        subprocess.run([binary, "--quit"], env=env)
        program.wait(timeout=10)

for binary, (first, later) in times.items():
    print(binary)
    print(f"  toggle to painted, first show: median {st.median(first) * 1000:.1f} ms of {len(first)} "
          f"({' '.join(f'{v * 1000:.1f}' for v in first)})")
    print(f"  toggle to painted, later shows: median {st.median(later) * 1000:.1f} ms of {len(later)}")
PY
