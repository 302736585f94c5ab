#!/usr/bin/env bash
# The panel's first and later shows in a headless sway, with Qt on Wayland
# itself (DISPLAY unset), or with --xwayland through sway's XWayland (the
# way the panel normally runs there), or with --gnome in a headless GNOME
# Shell with our bridge (through its XWayland; a shell for each binary, as
# the bridge serves one executable), or with --kde in a headless KWin
# (through its XWayland, each binary granted as installed): see
# toggle_shows.py. A Wayland client
# cannot watch another's frames, so each show ends at the program's own
# mark; it starts at the command, from outside.
#
#   bench/scripts/bench_wayland_first_show.sh [--xwayland|--gnome|--kde] RUNS SHOWS BINARY...
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
display=()
mode=${1#--}
[[ $mode == xwayland || $mode == gnome || $mode == kde ]] && shift || mode=wayland
runs=$1
shows=$2
shift 2
binaries=()
for b in "$@"; do binaries+=("$(realpath "$b")"); done

if [[ $mode == kde ]]; then
  work=$(mktemp -d /tmp/tavorindle-bench-kde.XXXXXX)
  trap 'rm -rf "$work"' EXIT
  mkdir -p "$work/share" "$work/shows"
  grants=()
  for binary in "${binaries[@]}"; do grants+=(--grant "$binary"); done
  "$root/tests/kde/run_in_kwin.sh" --data-dir "$work/share" "${grants[@]}" -- \
    /usr/bin/python3 "$root/bench/scripts/toggle_shows.py" "$work/shows" "$runs" "$shows" "${binaries[@]}"
  exit 0
fi
if [[ $mode == gnome ]]; then
  source "$root/bench/scripts/gnome_bridge.sh"
  for binary in "${binaries[@]}"; do
    work=$(mktemp -d /tmp/tavorindle-bench-gnome.XXXXXX)
    trap 'rm -rf "$work"' EXIT
    mkdir -p "$work/shows"
    run_in_gnome_with_bridge "$work" "$binary" \
      /usr/bin/python3 "$root/bench/scripts/toggle_shows.py" "$work/shows" "$runs" "$shows" "$binary"
    rm -rf "$work"
  done
  exit 0
fi

source "$root/bench/scripts/private_sway.sh"
if [[ $mode == xwayland ]]; then
  # sway makes its X socket at start and starts XWayland at the first client.
  x=$(find /tmp/.X11-unix -user "$(stat -c %U "$work/runtime")" -newer "$work/sway.conf" -printf '%f\n' | head -1)
  [[ -n "$x" ]] || { echo "sway made no X socket"; exit 1; }
  display=(DISPLAY=":${x#X}")
fi
mkdir -m 0755 "$work/shows"
[[ -n "${run_as[*]}" ]] && chown nobody:nogroup "$work/shows"
env -i PATH="$PATH" HOME="$work/shows" XDG_RUNTIME_DIR="$work/runtime" WAYLAND_DISPLAY="$socket" \
  XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=sway "${display[@]}" "${run_as[@]}" \
  /usr/bin/python3 "$root/bench/scripts/toggle_shows.py" "$work/shows" "$runs" "$shows" "${binaries[@]}"
