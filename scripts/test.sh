#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (scripts/test-suite.sh:
# unit tests on Qt's offscreen platform, X11 tests under Xvfb with openbox
# and a tray host, the GNOME tests in a headless GNOME Shell of their own,
# the Wayland tests in headless sway instances and a test compositor they
# start themselves), the unit tests again under AddressSanitizer and UBSan,
# and a short run of each fuzz target. On Debian 12 it then runs every test
# again on Debian 13, in a root of its own (scripts/test-debian13.sh).
# Exits non-zero when anything fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-30}

"$root/scripts/install-deps.sh" --test

status=0
"$root/scripts/test-suite.sh" "$root/build" || status=1

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

if [[ $(. /etc/os-release && echo "$ID/$VERSION_CODENAME") == debian/bookworm ]]; then
  echo "== Debian 13"
  "$root/scripts/test-debian13.sh" || status=1
fi

if ((status == 0)); then echo "== all tests passed"; else echo "== some tests FAILED"; fi
exit $status
