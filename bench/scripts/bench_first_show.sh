#!/usr/bin/env bash
# Key press to the panel's first painted frame, seen from outside: for each
# binary, fresh programs (one after another, the binaries alternating) on a
# private Xvfb display with openbox and 200 items in the history;
# x11_paint_probe presses the global key through XTest and waits for the
# panel's MapNotify and for damage over 90 % of it, then closes it with
# Escape. The first show of each program, and the median of its later ones.
#
#   bench/scripts/bench_first_show.sh BUILD_DIR RUNS SHOWS BINARY...
#
# BUILD_DIR holds bench/x11_paint_probe. The display is the first free one
# from $BENCH_DISPLAYS (default "110 140"); $BENCH_COMPOSITOR, if set, is
# started beside openbox.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
probe=$(realpath "$1/bench/x11_paint_probe")
runs=$2
shows=$3
shift 3
binaries=()
for b in "$@"; do binaries+=("$(realpath "$b")"); done

# shellcheck disable=SC2086
source "$root/bench/scripts/private_display.sh" ${BENCH_DISPLAYS:-110 140}
openbox >/dev/null 2>&1 & pids+=($!)
# BENCH_COMPOSITOR: a compositing manager to run as well (e.g. "picom --backend xrender").
if [[ -n "${BENCH_COMPOSITOR:-}" ]]; then
  # shellcheck disable=SC2086
  ${BENCH_COMPOSITOR} >/dev/null 2>&1 & pids+=($!)
fi
sleep 1
# One key through XTest first: the first synthetic key of a display switches
# the core keyboard to the XTest device, and every client then loads its
# keymap again (openbox its key bindings and compose table, Qt its keymap).
# A person's own keyboard sends no such switch; without this the first
# program's first show paid for it.
xdotool key shift

wait_for() { # condition command, bounded at 10 s
  for _ in $(seq 1 500); do eval "$1" && return 0; sleep 0.02; done
  echo "timed out waiting for: $1" >&2; return 1
}

results=$work/results
: >"$results"
for run in $(seq 1 "$runs"); do
  for i in "${!binaries[@]}"; do
    binary=${binaries[$i]}
    home=$work/home-$i-$run
    export XDG_DATA_HOME=$home/data XDG_RUNTIME_DIR=$home/rt TAVORINDLE_TRACE=1
    mkdir -p "$XDG_DATA_HOME/Tavorindle" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    python3 "$root/bench/scripts/make_history.py" "$XDG_DATA_HOME/Tavorindle/history.json" 200
    log=$home/log
    "$binary" 2>"$log" & pid=$!
    wait_for "grep -qs 'tavorindle-trace ready' '$log'"
    # A person reaches for the key a second or more after the start.
    sleep 1
    if ! "$probe" --shows "$shows" >"$home/shows"; then
      echo "$binary: the probe failed; the program's log:" >&2; cat "$log" >&2; exit 1
    fi
    sed "s/^/$i $run /" "$home/shows" >>"$results"
    "$binary" --quit >/dev/null 2>&1
    wait_for "! kill -0 $pid 2>/dev/null"
  done
done

python3 - "$results" "${binaries[@]}" <<'PY'
import statistics as st, sys
rows = [l.split() for l in open(sys.argv[1])]
for i, binary in enumerate(sys.argv[2:]):
    mine = [r for r in rows if r[0] == str(i)]
    first = [float(r[7]) for r in mine if r[3] == "1"]
    later = [float(r[7]) for r in mine if r[3] != "1"]
    first_map = [float(r[5]) for r in mine if r[3] == "1"]
    later_map = [float(r[5]) for r in mine if r[3] != "1"]
    print(binary)
    print(f"  key to painted, first show: median {st.median(first):.1f} ms of {len(first)} "
          f"({' '.join(f'{v:.1f}' for v in first)}); mapped at {st.median(first_map):.1f} ms")
    print(f"  key to painted, later shows: median {st.median(later):.1f} ms of {len(later)}; "
          f"mapped at {st.median(later_map):.1f} ms")
PY
