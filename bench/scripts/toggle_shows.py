"""The panel's first and later shows, each from `tavorindle --toggle` to the
program's "panel-painted" mark, for fresh programs of each binary (the
binaries alternating) with 200 items in the history; with the program's
CPU per show, and XWayland's where DISPLAY names one.

    toggle_shows.py WORK_FOLDER RUNS SHOWS BINARY...
"""
import os, statistics as st, subprocess, sys, time

root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
work, runs, shows, binaries = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4:]


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
                ["pgrep", "-f", f"^(/usr/bin/)?Xwayland {os.environ['DISPLAY']} "], capture_output=True, text=True).stdout.split()
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
