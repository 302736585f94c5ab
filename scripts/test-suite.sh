#!/usr/bin/env bash
# Builds into BUILD_DIR and runs every test the build defines, whatever its
# label: unit tests on Qt's offscreen platform, X11 tests under Xvfb with
# openbox and a tray host (started here), and the tests that start their
# own desktops (GNOME Shell, sway, a test compositor, KWin). Expects the
# packages of `install-deps.sh --test`. Shared by scripts/test.sh and the
# Debian 13 run in a root of its own (scripts/test-debian13.sh).
#
#   test-suite.sh BUILD_DIR [CTEST_OPTION...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: test-suite.sh BUILD_DIR [CTEST_OPTION...]}
shift
jobs=$(nproc)

echo "== build ($(. /etc/os-release && echo "$PRETTY_NAME"))"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVORINDLE_TESTS=ON "${launcher[@]}"
cmake --build "$build" -j "$jobs"

echo "== X server"
display=""
for n in $(seq 50 90); do
  if [[ ! -e /tmp/.X11-unix/X$n && ! -e /tmp/.X$n-lock ]]; then display=":$n"; break; fi
done
[[ -n "$display" ]] || { echo "no free X display"; exit 1; }
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/tmp/tavorindle-xvfb.log 2>&1 & pids+=($!)
for _ in $(seq 1 100); do DISPLAY=$display xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
DISPLAY=$display openbox >/tmp/tavorindle-openbox.log 2>&1 & pids+=($!)
DISPLAY=$display trayer --edge top --align right --widthtype pixel --width 120 --height 24 \
  >/tmp/tavorindle-trayer.log 2>&1 & pids+=($!)
sleep 1

echo "== every test: $(cd "$build" && ctest --print-labels | sed -n 's/^  *//p' | tr '\n' ' ')"
(cd "$build" && DISPLAY=$display ctest --output-on-failure -j "$jobs" --timeout 300 "$@")
