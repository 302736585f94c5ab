#!/usr/bin/env bash
# Times the program as a person meets it, on a private Xvfb display with
# openbox and a tray: start-up to ready, the global key to the panel's first
# finished paint (first show, then the median of later shows) with 200 items
# in the history, and resident memory after start and after opening the panel.
#
#   bench/scripts/bench_shell.sh [path/to/tavorindle] [shows] [starts]
#
# Needs Xvfb, openbox, trayer, xdotool, xwininfo, python3. Uses the marks the
# program prints with TAVORINDLE_TRACE=1 (microseconds, the same clock as date).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
binary=$(realpath "${1:-$root/build/shell/tavorindle}")
shows=${2:-20}
starts=${3:-5}

source "$root/bench/scripts/private_display.sh" 110 140
openbox >/dev/null 2>&1 & pids+=($!)
trayer --edge top --align right --widthtype pixel --width 120 --height 24 >/dev/null 2>&1 & pids+=($!)
sleep 1

export XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/rt TAVORINDLE_TRACE=1
mkdir -p "$XDG_DATA_HOME/Tavorindle" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# 200 items of the four kinds, as a full history would hold.
python3 "$root/bench/scripts/make_history.py" "$XDG_DATA_HOME/Tavorindle/history.json" 200

now_us() { date +%s%6N; }
mark() { grep -m1 "tavorindle-trace $1 " "$2" | awk '{print $3}'; }
wait_for() { # condition command, bounded at 10 s
  for _ in $(seq 1 500); do eval "$1" && return 0; sleep 0.02; done
  echo "timed out waiting for: $1" >&2; return 1
}
tray_shown() { xwininfo -root -tree | grep -q '("tavorindle" "Tavorindle")  2[0-9]x2[0-9]'; }
rss_kb() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }
stop_app() {
  "$binary" --quit >/dev/null 2>&1
  wait_for "! kill -0 $1 2>/dev/null"
}

startup_ready=() startup_tray=() rss_start=()
for run in $(seq 1 "$starts"); do
  log=$work/start-$run.log
  t0=$(now_us)
  "$binary" 2>"$log" & pid=$!
  wait_for "grep -q 'tavorindle-trace ready' '$log'"
  wait_for tray_shown
  t_tray=$(now_us)
  startup_ready+=($(( $(mark ready "$log") - t0 )))
  startup_tray+=($(( t_tray - t0 )))
  sleep 1
  rss_start+=($(rss_kb "$pid"))
  stop_app "$pid"
done

log=$work/shows.log
"$binary" 2>"$log" & pid=$!
wait_for "grep -q 'tavorindle-trace ready' '$log'"
sleep 1
from_key=() from_receipt=()
for run in $(seq 1 "$shows"); do
  before=$(grep -c 'panel-painted' "$log" || true)
  t0=$(now_us)
  xdotool key super+shift+v
  wait_for "[[ \$(grep -c 'panel-painted' '$log') -gt $before ]]"
  painted=$(grep 'panel-painted' "$log" | tail -1 | awk '{print $3}')
  hotkey=$(grep 'tavorindle-trace hotkey' "$log" | tail -1 | awk '{print $3}')
  from_key+=($(( painted - t0 )))
  from_receipt+=($(( painted - hotkey )))
  if [[ $run -eq 1 ]]; then sleep 0.5; rss_open=$(rss_kb "$pid"); fi
  xdotool key Escape
  sleep 0.3
done
stop_app "$pid"

python3 - "${startup_ready[*]}" "${startup_tray[*]}" "${rss_start[*]}" "$rss_open" \
  "${from_key[*]}" "${from_receipt[*]}" <<'PY'
import statistics as st, sys
ready, tray, rss, rss_open, key, receipt = (list(map(int, a.split())) for a in sys.argv[1:])
ms = lambda us: f"{us / 1000:.1f} ms"
print(f"start-up to ready (watcher running, tray icon set), median of {len(ready)}: {ms(st.median(ready))}")
print(f"start-up to tray icon mapped (polled), median of {len(tray)}: {ms(st.median(tray))}")
print(f"resident memory after start, 200 items, median: {st.median(rss) / 1024:.1f} MiB")
print(f"resident memory after opening the panel: {rss_open[0] / 1024:.1f} MiB")
print(f"key press (xdotool) to panel painted, first show: {ms(key[0])}")
print(f"key press (xdotool) to panel painted, later shows, median of {len(key) - 1}: {ms(st.median(key[1:]))}")
print(f"hot key received to panel painted, first show: {ms(receipt[0])}")
print(f"hot key received to panel painted, later shows, median: {ms(st.median(receipt[1:]))}")
PY
