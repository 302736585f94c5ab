#!/usr/bin/env bash
# What the program costs at rest: copies of each binary started side by side
# with empty clipboards in a desktop of the script's own (a private Xvfb
# display, a headless sway, or a headless GNOME Shell whose bridge trusts
# the binary), left alone, then their wake-ups and CPU time per minute
# (idle_cost.py; medians).
#
#   bench/scripts/bench_idle.sh [--desktop x11|sway|gnome] SECONDS COPIES path/to/tavorindle [...]
#
# Needs Xvfb, python3; sway or gnome-shell for those desktops.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
desktop=x11
if [[ "${1:-}" == --desktop ]]; then desktop=$2; shift 2; fi
seconds=${1:-60}
copies=${2:-3}
shift 2 || true
binaries=("$@")
((${#binaries[@]})) || binaries=("$root/build/shell/tavorindle")
measure=("$root/bench/scripts/idle_cost.py")

case "$desktop" in
x11)
  source "$root/bench/scripts/private_display.sh" 201 230
  echo "== X11 (Xvfb $DISPLAY)"
  python3 "${measure[@]}" "$work" "$seconds" "$copies" "${binaries[@]}"
  ;;
sway)
  source "$root/bench/scripts/private_sway.sh"
  echo "== headless sway $(sway --version | grep -o '[0-9][0-9.]*' | head -1)"
  mkdir -m 0755 "$work/idle"
  [[ -n "${run_as[*]}" ]] && chown nobody:nogroup "$work/idle"
  env -i PATH="$PATH" HOME="$work/idle" XDG_RUNTIME_DIR="$work/runtime" WAYLAND_DISPLAY="$socket" \
    XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=sway "${run_as[@]}" \
    /usr/bin/python3 "${measure[@]}" "$work/idle" "$seconds" "$copies" "${binaries[@]}"
  ;;
gnome)
  source "$root/bench/scripts/gnome_bridge.sh"
  for binary in "${binaries[@]}"; do
    work=$(mktemp -d /tmp/tavorindle-bench-idle.XXXXXX)
    trap 'rm -rf "$work"' EXIT
    mkdir -p "$work/idle"
    echo "== headless GNOME Shell $(gnome-shell --version | grep -o '[0-9][0-9.]*')"
    run_in_gnome_with_bridge "$work" "$binary" \
      /usr/bin/python3 "${measure[@]}" "$work/idle" "$seconds" "$copies" "$binary"
    rm -rf "$work"
  done
  ;;
*)
  echo "unknown desktop '$desktop' (x11, sway or gnome)" >&2; exit 2 ;;
esac
