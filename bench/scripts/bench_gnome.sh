#!/usr/bin/env bash
# The clipboard through GNOME Shell's bridge, beside the X11 figures of the
# same run: bench_gnome_clipboard in a headless GNOME Shell whose bridge
# trusts that executable, then bench_x11_clipboard's matching benchmarks on
# a private Xvfb.
#   bench/scripts/bench_gnome.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
uuid=tavorindle-bridge@tavorindle.app
work=$(mktemp -d /tmp/tavorindle-bench-gnome.XXXXXX)
trap 'rm -rf "$work"' EXIT

bench=$build/bench/bench_gnome_clipboard
mkdir -p "$work/share/gnome-shell/extensions"
cp -r "$build/gnome-extension/$uuid" "$work/share/gnome-shell/extensions/"
sed -i "s|\"tavorindle-executable\": \"[^\"]*\"|\"tavorindle-executable\": \"$bench\"|" \
  "$work/share/gnome-shell/extensions/$uuid/metadata.json"

echo "== load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== GNOME Shell bridge"
"$root/tests/gnome/run_in_gnome_shell.sh" --data-dir "$work/share" --extension "$uuid" -- \
  "$bench" --benchmark_counters_tabular=true 2>&1 | grep -E '^(BM_|Benchmark|-)' || true

echo "== X11 (Xvfb), same run"
display=""
for n in $(seq 150 190); do
  if [[ ! -e /tmp/.X11-unix/X$n && ! -e /tmp/.X$n-lock ]]; then display=":$n"; break; fi
done
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
sleep 1
DISPLAY=$display "$build/bench/bench_x11_clipboard" --benchmark_counters_tabular=true \
  --benchmark_filter='BM_(StallBaseline|ReadLargeCopy/50|CopyToSaved)/' 2>&1 | grep -E '^(BM_|Benchmark|-)' || true
echo "== load: $(cut -d' ' -f1-3 /proc/loadavg)"
