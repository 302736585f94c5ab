#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: unit tests on Qt's
# offscreen platform, X11 tests under Xvfb with openbox and a tray host, the
# GNOME tests in a headless GNOME Shell of their own (tests/gnome), the
# Wayland tests in headless sway instances and a test compositor they start
# themselves (sway as the user nobody when run as root: it refuses root),
# the unit tests again under AddressSanitizer and UBSan, and a short run of
# each fuzz target. Exits non-zero when anything fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-30}

"$root/scripts/install-deps.sh" --test

echo "== build"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVORINDLE_TESTS=ON
cmake --build "$root/build" -j "$jobs"

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

status=0
echo "== unit and X11 tests"
(cd "$root/build" && DISPLAY=$display ctest --output-on-failure -j "$jobs" --timeout 300) || status=1

echo "== unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S "$root" -B "$root/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAVORINDLE_TESTS=ON \
  -DTAVORINDLE_SANITIZE=ON
cmake --build "$root/build-asan" -j "$jobs"
(cd "$root/build-asan" && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j "$jobs" -L unit --timeout 600) || status=1

if [[ -f "$root/fuzz/CMakeLists.txt" ]]; then
  echo "== fuzz targets, ${fuzz_seconds} s each"
  CC=clang CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTAVORINDLE_TESTS=OFF -DTAVORINDLE_FUZZ=ON
  targets=$(cd "$root/fuzz" && ls fuzz_*.cpp | sed 's/\.cpp$//')
  cmake --build "$root/build-fuzz" -j "$jobs" --target $targets
  for target in "$root"/build-fuzz/fuzz/fuzz_*; do
    [[ -x "$target" && -f "$target" ]] || continue
    name=$(basename "$target")
    corpus=$(mktemp -d)
    seeds="$root/fuzz/corpus/$name"
    [[ -d "$seeds" ]] || seeds=""
    if "$target" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=4096 "$corpus" $seeds \
        >"/tmp/$name.log" 2>&1; then
      echo "$name: $(grep -E '^#[0-9]+.*(DONE|pulse)' "/tmp/$name.log" | tail -1)"
    else
      echo "$name: FAILED"; tail -40 "/tmp/$name.log"; status=1
    fi
    rm -rf "$corpus"
  done
fi

if ((status == 0)); then echo "== all tests passed"; else echo "== some tests FAILED"; fi
exit $status
