#!/usr/bin/env bash
# A small copy, from the start of xclip until the history file holds it,
# for each binary given and for xfce4-clipman beside it (both watch the
# same clipboard of a private Xvfb display, on a private session bus, so
# that each copy is timed for both under the same load). Clipman writes
# its history to $XDG_CACHE_HOME/xfce4/clipman/textsrc on every change.
#
#   bench/scripts/bench_copy_to_file.sh COPIES path/to/tavorindle [...]
#
# Needs Xvfb, xclip, python3, dbus-run-session, xfce4-clipman.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
copies=${1:-15}
shift
binaries=()
for b in "$@"; do binaries+=("$(realpath "$b")"); done
((${#binaries[@]})) || binaries=("$root/build/shell/tavorindle")

source "$root/bench/scripts/private_display.sh" 231 260
echo "== load: $(cut -d' ' -f1-3 /proc/loadavg)"
for binary in "${binaries[@]}"; do
  home=$work/home-$RANDOM
  mkdir -p "$home/runtime" && chmod 700 "$home/runtime"
  HOME=$home XDG_DATA_HOME=$home/data XDG_CACHE_HOME=$home/cache XDG_CONFIG_HOME=$home/config \
  XDG_RUNTIME_DIR=$home/runtime dbus-run-session -- python3 - "$binary" "$copies" "$home" <<'PY'
import os, statistics as st, subprocess, sys, time
binary, copies, home = sys.argv[1], int(sys.argv[2]), sys.argv[3]
ours = f"{home}/data/Tavorindle/history.json"
theirs = f"{home}/cache/xfce4/clipman/textsrc"
quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
programs = [subprocess.Popen([binary], **quiet), subprocess.Popen(["xfce4-clipman"], **quiet)]

def holds(path, text, seen):
    """Whether the file holds text; read only when it changed."""
    try:
        stamp = os.stat(path).st_mtime_ns
    except FileNotFoundError:
        return False
    if seen.get(path) == stamp:
        return False
    seen[path] = stamp
    with open(path, "rb") as f:
        return text.encode() in f.read()

def copy(text):
    """Milliseconds from starting xclip until each file holds text."""
    started = time.monotonic()
    subprocess.run(["xclip", "-selection", "clipboard", "-i"], input=text.encode(), check=True)
    times, seen = {}, {}
    while len(times) < 2 and time.monotonic() - started < 10:
        for name, path in (("ours", ours), ("clipman", theirs)):
            if name not in times and holds(path, text, seen):
                times[name] = (time.monotonic() - started) * 1000
        time.sleep(0.0005)
    return times

for _ in range(100):  # both ready: a first copy reaches both files
    if len(copy(f"warm-up {time.time()}")) == 2:
        break
    time.sleep(0.1)
results = {"ours": [], "clipman": []}
for i in range(copies):
    for name, ms in copy(f"copy {i} at {time.time()}").items():
        results[name].append(ms)
    time.sleep(0.3)  # a person copies now and then
subprocess.run([binary, "--quit"], **quiet)
for p in programs:
    if p.poll() is None:
        p.terminate()
    p.wait()
print(f"{binary}: copy to file, median of {copies} (p90)")
for name, values in results.items():
    if values:
        values.sort()
        print(f"  {name:8} {st.median(values):7.1f} ms ({values[int(len(values) * 0.9) - 1]:.1f}), {len(values)} of {copies} saved")
    else:
        print(f"  {name:8} none saved")
PY
done
echo "== load: $(cut -d' ' -f1-3 /proc/loadavg)"
