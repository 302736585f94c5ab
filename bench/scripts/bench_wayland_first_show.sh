#!/usr/bin/env bash
# The panel's first and later shows in a headless sway, with Qt on Wayland
# itself (DISPLAY unset), or with --xwayland through sway's XWayland (the
# way the panel normally runs there): for each binary, fresh programs (the
# binaries alternating) with 200 items in the history; each show starts
# `tavorindle --toggle` and ends at the program's "panel-painted" mark (the
# panel painted and handed to the compositor). A Wayland client cannot watch
# another's frames, so the end is the program's own mark; the start is the
# command's, from outside. The program's CPU time per show comes from its
# threads' schedstat.
#
#   bench/scripts/bench_wayland_first_show.sh [--xwayland] RUNS SHOWS BINARY...
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
display=()
xwayland=0
if [[ $1 == --xwayland ]]; then
  xwayland=1
  shift
fi
runs=$1
shows=$2
shift 2
binaries=()
for b in "$@"; do binaries+=("$(realpath "$b")"); done

source "$root/bench/scripts/private_sway.sh"
if ((xwayland)); then
  # sway makes its X socket at start and starts XWayland at the first client.
  x=$(find /tmp/.X11-unix -user "$(stat -c %U "$work/runtime")" -newer "$work/sway.conf" -printf '%f\n' | head -1)
  [[ -n "$x" ]] || { echo "sway made no X socket"; exit 1; }
  display=(DISPLAY=":${x#X}")
fi
mkdir -m 0755 "$work/shows"
[[ -n "${run_as[*]}" ]] && chown nobody:nogroup "$work/shows"
env -i PATH="$PATH" HOME="$work/shows" XDG_RUNTIME_DIR="$work/runtime" WAYLAND_DISPLAY="$socket" \
  XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=sway "${display[@]}" "${run_as[@]}" \
  /usr/bin/python3 - "$work/shows" "$root" "$runs" "$shows" "${binaries[@]}" <<'PY'
import os, statistics as st, subprocess, sys, time

work, root, runs, shows, binaries = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5:]


def marks(log, name):
    with open(log) as f:
        return [int(line.split()[2]) for line in f if line.startswith(f"tavorindle-trace {name} ")]


def cpu_ms(pid):
    total = 0
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/schedstat") as f:
                total += int(f.read().split()[0])
        except FileNotFoundError:
            pass  # a thread that ended meanwhile
    return total / 1e6


def wait_for(condition, what, bound=10):
    start = time.time()
    while not condition():
        if time.time() - start > bound:
            sys.exit(f"timed out waiting for {what}")
        time.sleep(0.001)


times = {b: ([], []) for b in binaries}
cpu = {b: ([], []) for b in binaries}
server = {b: ([], []) for b in binaries}  # XWayland's, with --xwayland
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
            xwayland = "DISPLAY" in os.environ and subprocess.run(
                ["pgrep", "-f", f"^Xwayland {os.environ['DISPLAY']} "], capture_output=True, text=True).stdout.split()
            c0 = cpu_ms(program.pid)
            s0 = cpu_ms(xwayland[0]) if xwayland else 0
            t0 = time.time()
            subprocess.run([binary, "--toggle"], env=env, check=True)
            wait_for(lambda: len(marks(log, "panel-painted")) > before, "the panel")
            (times[binary][0] if show == 0 else times[binary][1]).append(
                marks(log, "panel-painted")[-1] / 1e6 - t0)
            time.sleep(0.2)
            (cpu[binary][0] if show == 0 else cpu[binary][1]).append(cpu_ms(program.pid) - c0)
            if xwayland:
                (server[binary][0] if show == 0 else server[binary][1]).append(cpu_ms(xwayland[0]) - s0)
            subprocess.run([binary, "--toggle"], env=env, check=True)
            time.sleep(0.3)
        subprocess.run([binary, "--quit"], env=env)
        program.wait(timeout=10)

for binary, (first, later) in times.items():
    print(binary)
    print(f"  toggle to painted, first show: median {st.median(first) * 1000:.1f} ms of {len(first)} "
          f"({' '.join(f'{v * 1000:.1f}' for v in first)})")
    print(f"  toggle to painted, later shows: median {st.median(later) * 1000:.1f} ms of {len(later)}")
    print(f"  program CPU per show, first / later: median {st.median(cpu[binary][0]):.1f} / "
          f"{st.median(cpu[binary][1]):.1f} ms")
    if server[binary][0]:
        print(f"  XWayland CPU per show, first / later: median {st.median(server[binary][0]):.1f} / "
              f"{st.median(server[binary][1]):.1f} ms")
PY
