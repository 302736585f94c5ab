#!/usr/bin/env bash
# Installs what is missing, builds Tavorindle and starts it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVORINDLE_TESTS=OFF
cmake --build "$root/build"
exec "$root/build/shell/tavorindle" "$@"
