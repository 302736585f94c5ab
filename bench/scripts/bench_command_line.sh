#!/usr/bin/env bash
# Times the command line as scripts meet it, on a private Xvfb display: the
# wall time of whole `tavorindle list` and `tavorindle print` calls (process
# start included) with 200 items in the history, one of them 10 MB, beside
# `xclip -o` of the same 10 MB; and the program's longest event-loop stall,
# seen from outside by a "ping" on the command socket every 5 ms, while the
# 10 MB reply streams to a fast and to a slow reader.
#
#   bench/scripts/bench_command_line.sh [path/to/tavorindle] [runs]
#
# Needs Xvfb, xclip, python3.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
binary=$(realpath "${1:-$root/build/shell/tavorindle}")
runs=${2:-30}

source "$root/bench/scripts/private_display.sh" 141 170

export XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/rt
mkdir -p "$XDG_DATA_HOME/Tavorindle" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# 199 items of the four kinds, and a 10 MB text at the bottom.
python3 "$root/bench/scripts/make_history.py" "$XDG_DATA_HOME/Tavorindle/history.json" 199 "$work/big.txt" 10

"$binary" >/dev/null 2>&1 & pids+=($!)
for _ in $(seq 1 100); do "$binary" list --picker >/dev/null 2>&1 && break; sleep 0.1; done
# By id: copying it below moves it up the list.
big=$("$binary" list --json | tail -n 1 | python3 -c 'import json, sys; print(json.load(sys.stdin)["id"])')
"$binary" print "$big" | cmp -s - "$work/big.txt" || { echo "print is not the stored text"; exit 1; }

python3 - "$binary" "$big" "$runs" "$XDG_RUNTIME_DIR/tavorindle.sock" "$work/big.txt" "$(uptime)" \
  "$root/bench/scripts" <<'PY'
import statistics as st, subprocess, sys, time
binary, big, runs, sock, big_file, load = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4], sys.argv[5], sys.argv[6]
sys.path.insert(0, sys.argv[7])
import program_probe

def wall(argv, **kw):
    t = time.perf_counter()
    subprocess.run(argv, stdout=subprocess.DEVNULL, check=True, **kw)
    return (time.perf_counter() - t) * 1000

def median(argv, **kw):
    times = [wall(argv, **kw) for _ in range(runs)]
    return st.median(times), max(times)

def Stalls():
    return program_probe.Stalls(sock)

rows = []
for name, argv in [("list, 200 items, table", [binary, "list"]),
                   ("list, 200 items, --picker", [binary, "list", "--picker"]),
                   ("list, 200 items, --json (10 MB item included)", [binary, "list", "--json"]),
                   ("print, 10 MB item", [binary, "print", big])]:
    rows.append((name, *median(argv)))
subprocess.run([binary, "copy", big], check=True)
time.sleep(0.5)
rows.append(("xclip -o, the same 10 MB, served by tavorindle", *median(["xclip", "-selection", "clipboard", "-o"])))
owner = subprocess.Popen(["xclip", "-selection", "clipboard", "-i", "-loops", str(runs + 1)],
                         stdin=open(big_file, "rb"))
time.sleep(0.5)
rows.append(("xclip -o, the same 10 MB, served by xclip", *median(["xclip", "-selection", "clipboard", "-o"])))
owner.kill()

with Stalls() as quiet:
    time.sleep(2)
with Stalls() as fast:
    for _ in range(10):
        wall([binary, "print", big])
with Stalls() as slow:
    reader = subprocess.Popen([binary, "print", big], stdout=subprocess.PIPE)
    got = 0
    while chunk := reader.stdout.read(65536):
        got += len(chunk); time.sleep(0.002)  # about 30 MB/s
    reader.wait()

print(f"load: {load.strip()}")
print(f"{'wall time per call':52} {'median':>9} {'max':>9}")
for name, med, worst in rows:
    print(f"{name:52} {med:7.1f} ms {worst:6.1f} ms")
print(f"longest ping round trip, nothing else happening:     {quiet.worst:6.1f} ms")
print(f"longest ping round trip, 10 prints of 10 MB:         {fast.worst:6.1f} ms")
print(f"longest ping round trip, one slow reader of 10 MB:   {slow.worst:6.1f} ms ({got / 1e6:.1f} MB read)")
PY
