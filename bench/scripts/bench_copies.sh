#!/usr/bin/env bash
# The program's own figures for large copies, seen from outside as a user
# meets them, on a private Xvfb display: the longest event-loop stall (a
# "ping" on the command socket every 5 ms) while xclip hands over a 10 MB
# and a 50 MB copy until the history file holds it, the time from starting
# xclip until the file holds it, private memory after one 10 MB copy is
# saved, and the resident peak while a 50 MB copy is read and saved.
#
#   bench/scripts/bench_copies.sh [path/to/tavorindle] [runs]
#
# Needs Xvfb, xclip, python3.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
binary=$(realpath "${1:-$root/build/shell/tavorindle}")
runs=${2:-3}

source "$root/bench/scripts/private_display.sh" 171 200

export XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/rt
mkdir -p "$XDG_DATA_HOME/Tavorindle" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
python3 "$root/bench/scripts/make_history.py" "$XDG_DATA_HOME/Tavorindle/history.json" 20

python3 - "$binary" "$runs" "$XDG_RUNTIME_DIR/tavorindle.sock" "$XDG_DATA_HOME/Tavorindle/history.json" \
  "$work" "$(uptime)" "$root/bench/scripts" <<'PY'
import os, statistics as st, subprocess, sys, time
binary, runs, sock, history, work, load = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5], sys.argv[6]
sys.path.insert(0, sys.argv[7])
import program_probe

def start():
    program = subprocess.Popen([binary], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        try:
            ping(); return program
        except OSError:
            time.sleep(0.1)
    raise SystemExit("the program did not start")

def ping():
    program_probe.ping(sock)

def status(pid, key):
    for line in open(f"/proc/{pid}/status"):
        if line.startswith(key):
            return int(line.split()[1]) / 1024
def anonymous(pid):
    for line in open(f"/proc/{pid}/smaps_rollup"):
        if line.startswith("Anonymous:"):
            return int(line.split()[1]) / 1024

def Stalls():
    return program_probe.Stalls(sock)

def text_file(mb):
    path = f"{work}/copy{mb}.txt"
    line = b"0123456789 abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ\n"
    with open(path, "wb") as f:
        f.write(line * (mb * 1000 * 1000 // len(line)) + b"end")
    return path

def copy_until_saved(path):
    """Starts xclip on the file; ms until the history file is replaced by one that holds it."""
    before = os.stat(history).st_mtime_ns
    size = os.path.getsize(path)
    t = time.perf_counter()
    subprocess.run(["xclip", "-selection", "clipboard", "-i", path], check=True, stderr=subprocess.DEVNULL)
    while True:
        st_ = os.stat(history)
        if st_.st_mtime_ns != before and st_.st_size > size:
            return (time.perf_counter() - t) * 1000
        time.sleep(0.001)

def small_copy():
    subprocess.run(["xclip", "-selection", "clipboard", "-i"], input=b"small", check=True, stderr=subprocess.DEVNULL)
    time.sleep(0.5)

base_history = open(history, "rb").read()
path10, path50 = text_file(10), text_file(50)
results = {}
for mb, path in ((10, path10), (50, path50)):
    rows = []
    for _ in range(runs):
        # A fresh program over the same 20 items each time.
        open(history, "wb").write(base_history)
        program = start()
        small_copy()
        idle = anonymous(program.pid)
        open(f"/proc/{program.pid}/clear_refs", "w").write("5")
        with Stalls() as stall:
            saved = copy_until_saved(path)
        peak = status(program.pid, "VmHWM:")
        small_copy()  # the clipboard no longer holds the copy; the history does
        time.sleep(0.5)
        rows.append((saved, stall.worst, peak, idle, anonymous(program.pid)))
        program.terminate(); program.wait()
    results[mb] = [st.median(column) for column in zip(*rows)] + [max(r[1] for r in rows)]

program = start()
time.sleep(0.5)
with Stalls() as quiet:
    time.sleep(2)
program.terminate(); program.wait()

print(f"load: {load.strip()}")
print(f"medians of {runs} runs, each a fresh program with 20 items")
for mb in (10, 50):
    saved, stall, peak, idle, after, worst = results[mb]
    print(f"{mb} MB copy: xclip start to saved {saved:5.0f} ms, longest ping {stall:5.1f} ms (worst {worst:5.1f}), "
          f"resident peak {peak:4.0f} MiB, private anonymous {idle:4.1f} MiB before, {after:4.1f} MiB after")
print(f"longest ping round trip, nothing happening: {quiet.worst:5.1f} ms")
PY
