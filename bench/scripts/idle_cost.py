#!/usr/bin/env python3
"""Starts COPIES copies of each binary side by side in the desktop this runs
in, each with data and runtime folders of its own under WORK, waits until
each answers, leaves them alone for SECONDS and prints, per binary, the
median wake-ups (voluntary context switches of all threads) and on-CPU time
per minute, and how soon a copy made after the rest is listed (xclip,
or wl-copy where no X display is set).

    idle_cost.py WORK SECONDS COPIES BINARY [BINARY ...]
"""
import glob, os, statistics as st, subprocess, sys, time

work, seconds, copies, binaries = sys.argv[1], float(sys.argv[2]), int(sys.argv[3]), sys.argv[4:]


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
    """What the threads did in between (a pool's idle thread may end, taking
    its counts with it: only what lives at the end counts)."""
    switches = cpu = 0
    for task, (s1, c1) in after.items():
        s0, c0 = before.get(task, (0, 0))
        switches += s1 - s0
        cpu += c1 - c0
    return switches, cpu


base = dict(os.environ)
copy_command = ["xclip", "-selection", "clipboard"] if base.get("DISPLAY") else ["wl-copy"]
# Each copy gets a runtime folder of its own, so the compositor's socket is
# named by its full path.
wayland = base.get("WAYLAND_DISPLAY", "")
if wayland and not wayland.startswith("/"):
    base["WAYLAND_DISPLAY"] = os.path.join(base["XDG_RUNTIME_DIR"], wayland)

runs = []
for i, binary in enumerate(binaries):
    for c in range(copies):
        env = dict(base, XDG_DATA_HOME=f"{work}/d{i}-{c}", XDG_RUNTIME_DIR=f"{work}/r{i}-{c}")
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
        with open(f"{work}/log{i}-{c}", "w") as log:
            runs.append((binary, env, subprocess.Popen([binary], env=env, stdout=subprocess.DEVNULL,
                                                       stderr=log)))
for binary, env, process in runs:
    for _ in range(100):
        if subprocess.run([binary, "list"], env=env, capture_output=True).returncode == 0:
            break
        time.sleep(0.1)
    else:
        sys.exit(f"{binary} did not answer (exit status {process.poll()})")
time.sleep(3)  # start-up work is over
before = [sample(p.pid) for _, _, p in runs]
time.sleep(seconds)
after = [sample(p.pid) for _, _, p in runs]
# Resting must not mean deaf: a copy made now is still taken at once.
taken = {}
for i, binary in enumerate(binaries):
    env = runs[i * copies][1]
    text = f"copied after the rest {time.time()}"
    started = time.monotonic()
    subprocess.run(copy_command, input=text.encode(), env=env, check=True)
    while time.monotonic() - started < 10:
        listed = subprocess.run([binary, "list"], env=env, capture_output=True, text=True).stdout
        if text in listed:
            taken[binary] = f"{(time.monotonic() - started) * 1000:.0f} ms"
            break
        time.sleep(0.01)
    else:
        taken[binary] = "NOT within 10 s"
for binary, env, p in runs:
    subprocess.run([binary, "--quit"], env=env)
    p.wait()

print(f"load: {os.getloadavg()[0]:.2f}")
print(f"{'binary':60} {'wake-ups/min':>13} {'CPU ms/min':>11}   (median of {copies} copies, {seconds:.0f} s at rest)")
for i, binary in enumerate(binaries):
    rows = range(i * copies, (i + 1) * copies)
    deltas = [delta(before[r], after[r]) for r in rows]
    wakes = st.median(d[0] * 60 / seconds for d in deltas)
    cpu = st.median(d[1] / 1e6 * 60 / seconds for d in deltas)
    print(f"{binary:60} {wakes:13.0f} {cpu:11.2f}")
    print(f"    a copy after the rest listed in {taken[binary]}")
    with open(f"{work}/log{i}-0") as log:  # which backends it chose, and why
        for line in log.read().splitlines()[:4]:
            print(f"    {line}")
