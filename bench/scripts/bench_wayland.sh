#!/usr/bin/env bash
# The native Wayland clipboard in headless sway and in headless KWin, beside
# the X11 figures of the same run: bench_wayland_clipboard against sway
# (started as the user nobody when run as root: sway refuses root), then in
# KWin (through the KDE tests' harness, when kwin_wayland is installed),
# then bench_x11_clipboard's matching benchmarks on a private Xvfb.
#   bench/scripts/bench_wayland.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
source "$root/bench/scripts/private_sway.sh"

echo "== load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== Wayland (headless sway, data-control)"
XDG_RUNTIME_DIR="$work/runtime" WAYLAND_DISPLAY="$socket" DISPLAY= \
  "$build/bench/bench_wayland_clipboard" --benchmark_counters_tabular=true 2>&1 \
  | grep -E '^(BM_|Benchmark|-)' || true

if command -v kwin_wayland >/dev/null; then
  echo "== Wayland (headless KWin $(dpkg-query -W -f='${Version}' kwin-wayland 2>/dev/null), data-control)"
  "$root/tests/kde/run_in_kwin.sh" --data-dir /usr/share -- \
    "$build/bench/bench_wayland_clipboard" --benchmark_counters_tabular=true 2>&1 \
    | grep -E '^(BM_|Benchmark|-)' || true
fi

echo "== X11 (Xvfb), same run"
display=""
for n in $(seq 150 190); do
  if [[ ! -e /tmp/.X11-unix/X$n && ! -e /tmp/.X$n-lock ]]; then display=":$n"; break; fi
done
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
sleep 1
DISPLAY=$display "$build/bench/bench_x11_clipboard" --benchmark_counters_tabular=true \
  --benchmark_filter='BM_(StallBaseline|StallWhileOwnerHangs|ReadLargeCopy/50|CopyToSaved|IdleCost|Memory)' \
  2>&1 | grep -E '^(BM_|Benchmark|-)' || true
echo "== load: $(cut -d' ' -f1-3 /proc/loadavg)"
