#!/usr/bin/env bash
# Times the command line as scripts meet it, on a private Xvfb display: the
# wall time of whole `tavorindle list` and `tavorindle print` calls (process
# start included) with 200 items in the history, one of them 10 MB, beside
# `xclip -o` of the same 10 MB; and the program's longest event-loop stall,
# seen from outside by a "ping" on the command socket every 5 ms, while the
# 10 MB reply streams to a fast and to a slow reader. Given an earlier build
# too, first the CPU time of the client process per call (user + system,
# median of CPU_RUNS calls, 100 unless set) for both builds, each against a
# running copy of its own, the calls alternating between the two, and what
# the dynamic loader does for each; and the program's start to ready, STARTS
# (9) times each, alternating.
#
#   bench/scripts/bench_command_line.sh [path/to/tavorindle] [runs] [path/to/earlier/tavorindle]
#
# Needs Xvfb, xclip, python3. DISPLAYS="first last" picks the X display
# numbers tried (141 to 170 unless set).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
binary=$(realpath "${1:-$root/build/shell/tavorindle}")
runs=${2:-30}
earlier=${3:+$(realpath "$3")}

# shellcheck disable=SC2086 # two numbers
source "$root/bench/scripts/private_display.sh" ${DISPLAYS:-141 170}

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

if [[ -n "$earlier" ]]; then
  # The earlier build's copy: a runtime folder and a copy of the history of its own.
  mkdir -p "$work/earlier/data/Tavorindle" "$work/earlier/rt"
  chmod 700 "$work/earlier/rt"
  cp "$XDG_DATA_HOME/Tavorindle/history.json" "$work/earlier/data/Tavorindle/"
  XDG_DATA_HOME=$work/earlier/data XDG_RUNTIME_DIR=$work/earlier/rt "$earlier" >/dev/null 2>&1 & pids+=($!)
  for _ in $(seq 1 100); do
    XDG_DATA_HOME=$work/earlier/data XDG_RUNTIME_DIR=$work/earlier/rt "$earlier" list --picker >/dev/null 2>&1 && break
    sleep 0.1
  done
  python3 - "$earlier" "$binary" "${CPU_RUNS:-100}" "$work/earlier" "$(uptime)" "${STARTS:-9}" <<'PY'
import os, re, statistics as st, subprocess, sys, time
earlier, binary, runs, earlier_dir, load = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4], sys.argv[5]
starts_count = int(sys.argv[6])
builds = [(earlier, dict(os.environ, XDG_DATA_HOME=earlier_dir + "/data", XDG_RUNTIME_DIR=earlier_dir + "/rt")),
          (binary, dict(os.environ))]

def cpu_ms(argv, env):
    child = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    _, status, usage = os.wait4(child.pid, 0)
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit(f"{argv} ended with {child.returncode}")
    return (usage.ru_utime + usage.ru_stime) * 1000

def loader(program, argv, env):
    out = subprocess.run([program] + argv, env=dict(env, LD_DEBUG="statistics"), capture_output=True,
                         text=True).stderr
    cycles = re.search(r"total startup time in dynamic loader: (\d+)", out).group(1)
    relocations = re.search(r"final number of relocations: (\d+)", out).group(1)
    objects = subprocess.run(["ldd", program], capture_output=True, text=True).stdout.count("=>")
    return f"shared libraries {objects}, relocations {int(relocations):,}, {int(cycles) / 1e6:.1f} M cycles"

# Until the program is ready (its trace mark), from its start with no copy
# running; then it is ended.
def stop(program, env):
    subprocess.run([program, "--quit"], env=env, capture_output=True)
    while b"not running" not in subprocess.run([program, "list"], env=env, capture_output=True).stderr:
        time.sleep(0.05)

def start_ms(program, env):
    stop(program, env)
    env = dict(env, TAVORINDLE_TRACE="1")
    t0 = time.time()
    child = subprocess.Popen([program], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env, text=True)
    for line in child.stderr:
        if line.startswith("tavorindle-trace ready "):
            ready = int(line.split()[2]) / 1e6
            break
    else:
        sys.exit(f"{program} ended before it was ready")
    subprocess.run([program, "--quit"], env=env, check=True, capture_output=True)
    child.communicate()
    return (ready - t0) * 1000

rows = [("list, 200 items, table", ["list"]), ("list --picker", ["list", "--picker"]),
        ("print of a short item", ["print", "1"]),
        ("--version (loads the whole program)", ["--version"])]
print(f"load: {load.strip()}")
print(f"{'client CPU per call, user + system, median of %d' % runs:52} {'before':>9} {'after':>9}")
for name, argv in rows:
    times = ([], [])
    for _ in range(runs):
        for i, (program, env) in enumerate(builds):
            times[i].append(cpu_ms([program] + argv, env))
    print(f"{name:52} {st.median(times[0]):6.2f} ms {st.median(times[1]):6.2f} ms")
scale = st.median(cpu_ms(["/bin/true"], os.environ) for _ in range(runs))
print(f"{'/bin/true, any process start, for scale':52} {scale:6.2f} ms")
for label, (program, env) in zip(("before", "after"), builds):
    print(f"dynamic loader at the start of 'list', {label}: {loader(program, ['list'], env)}")
starts = ([], [])
for _ in range(starts_count):
    for i, (program, env) in enumerate(builds):
        starts[i].append(start_ms(program, env))
print(f"{'program start to ready, wall, median of %d' % starts_count:52} "
      f"{st.median(starts[0]):6.1f} ms {st.median(starts[1]):6.1f} ms")
PY
  # The program of this build again, for what follows.
  "$binary" >/dev/null 2>&1 & pids+=($!)
  for _ in $(seq 1 100); do "$binary" list --picker >/dev/null 2>&1 && break; sleep 0.1; done
fi

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
