#!/usr/bin/env bash
# Runs a command inside a headless GNOME Shell on Wayland (with XWayland),
# on a private session bus and a private system bus, in a runtime folder of
# its own. The shell starts in a session mode that enables the given
# extensions and skips the start-up overview. The command gets
# WAYLAND_DISPLAY, DISPLAY (XWayland), DBUS_SESSION_BUS_ADDRESS and
# XDG_RUNTIME_DIR of that session; its exit status is the script's.
#
#   run_in_gnome_shell.sh --data-dir DIR [--extension UUID]... -- command...
#
# DIR is a prefix's share folder holding gnome-shell/extensions/UUID (an
# installed tree); the mode file is written beside it in a folder of our own.
set -euo pipefail

data_dir=""
extensions=()
while (($#)); do
  case "$1" in
    --data-dir) data_dir=$2; shift 2 ;;
    --extension) extensions+=("$2"); shift 2 ;;
    --) shift; break ;;
    *) echo "usage: $0 --data-dir DIR [--extension UUID]... -- command..." >&2; exit 2 ;;
  esac
done
(($#)) || { echo "no command given" >&2; exit 2; }
# It goes into XDG_DATA_DIRS, where a relative folder is ignored: the
# extensions would quietly stay disabled.
[[ "$data_dir" == /* ]] || { echo "--data-dir needs an absolute path, not '$data_dir'" >&2; exit 2; }

if [[ -z "${TAVORINDLE_IN_GNOME_SESSION:-}" ]]; then
  work=$(mktemp -d /tmp/tavorindle-gnome.XXXXXX)
  chmod 0700 "$work"
  mkdir -m 0700 "$work/runtime"
  mkdir -p "$work/modes/gnome-shell/modes" "$work/home"
  enabled=$(printf '"%s",' "${extensions[@]}")
  printf '{"parentMode":"user","hasOverview":false,"enabledExtensions":[%s]}\n' "${enabled%,}" \
    >"$work/modes/gnome-shell/modes/tavorindle-test.json"

  # The shell dies in its login-manager code without a system bus.
  cat >"$work/system-bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$work/system_bus_socket</listen>
  <policy context="default"><allow send_destination="*"/><allow receive_sender="*"/><allow own="*"/><allow user="*"/></policy>
</busconfig>
EOF
  # XWayland refuses a socket folder that is not the usual sticky, world-writable one.
  if [[ -d /tmp/.X11-unix && $(stat -c %a /tmp/.X11-unix) != 1777 && $(id -u) -eq 0 ]]; then
    chmod 1777 /tmp/.X11-unix
  fi
  dbus-daemon --config-file="$work/system-bus.conf" --nofork --nopidfile >"$work/system-bus.log" 2>&1 &
  system_bus=$!
  trap 'kill $system_bus 2>/dev/null || true; rm -rf "$work"' EXIT
  for _ in $(seq 1 50); do [[ -S "$work/system_bus_socket" ]] && break; sleep 0.1; done

  status=0
  TAVORINDLE_IN_GNOME_SESSION=$work \
  DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/system_bus_socket" \
  XDG_RUNTIME_DIR="$work/runtime" \
  XDG_DATA_DIRS="$work/modes:$data_dir:${XDG_DATA_DIRS:-/usr/local/share:/usr/share}" \
  XDG_CONFIG_HOME="$work/home/config" XDG_CACHE_HOME="$work/home/cache" \
  XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME \
    dbus-run-session -- "$0" --data-dir "$data_dir" -- "$@" || status=$?
  exit $status
fi

# Inside the private session bus.
work=$TAVORINDLE_IN_GNOME_SESSION
unset DISPLAY WAYLAND_DISPLAY
wayland_name="tavorindle-gnome-$$"
gnome-shell --headless --wayland --wayland-display="$wayland_name" --virtual-monitor 1280x800 \
  --mode=tavorindle-test >"$work/shell.log" 2>&1 &
shell=$!
trap 'kill $shell 2>/dev/null || true; wait $shell 2>/dev/null || true' EXIT

# Ready when the shell has its bus name and its Wayland socket.
ready=""
for _ in $(seq 1 300); do
  if [[ -S "$XDG_RUNTIME_DIR/$wayland_name" ]] &&
     gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
       --method org.freedesktop.DBus.Properties.Get org.gnome.Shell ShellVersion >/dev/null 2>&1; then
    ready=1; break
  fi
  kill -0 $shell 2>/dev/null || break
  sleep 0.1
done
if [[ -z "$ready" ]]; then
  echo "GNOME Shell did not start; its log:" >&2
  tail -40 "$work/shell.log" >&2
  exit 1
fi
export WAYLAND_DISPLAY=$wayland_name
# XWayland's display and the cookie Mutter made for it.
DISPLAY=$(grep -o 'Using public X11 display :[0-9]*' "$work/shell.log" | grep -o ':[0-9]*$' || true)
export DISPLAY
for cookie in "$XDG_RUNTIME_DIR"/.mutter-Xwaylandauth.*; do
  [[ -e "$cookie" ]] && export XAUTHORITY=$cookie
done
export TAVORINDLE_GNOME_SHELL_LOG="$work/shell.log"
status=0
"$@" || status=$?
if ((status != 0)); then
  echo "== the GNOME Shell log's last lines" >&2
  grep -v -E 'SessionManager|^$' "$work/shell.log" | tail -25 >&2
fi
exit $status
