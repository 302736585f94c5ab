#!/usr/bin/env bash
# Runs a command inside a headless KWin on Wayland (with XWayland), on a
# private session bus, with a runtime folder, home and configuration of its
# own. KWin hosts KDE's shortcut service itself. Each --grant names a test
# program by its full path in a desktop entry of its own, so that KWin lets
# it type and list windows, as the installed entry does for the program.
# The command gets WAYLAND_DISPLAY (a full path, so that clients with a
# runtime folder of their own reach it), DISPLAY (XWayland),
# DBUS_SESSION_BUS_ADDRESS and XDG_RUNTIME_DIR of that session; its exit
# status is the script's.
#
#   run_in_kwin.sh --data-dir DIR [--grant PROGRAM]... -- command...
#
# DIR is an installed prefix's share folder, searched for desktop entries.
set -euo pipefail

data_dir=""
grants=()
while (($#)); do
  case "$1" in
    --data-dir) data_dir=$2; shift 2 ;;
    --grant) grants+=("$2"); shift 2 ;;
    --) shift; break ;;
    *) echo "usage: $0 --data-dir DIR [--grant PROGRAM]... -- command..." >&2; exit 2 ;;
  esac
done
(($#)) || { echo "no command given" >&2; exit 2; }

work=$(mktemp -d /tmp/tavorindle-kwin.XXXXXX)
chmod 0700 "$work"
mkdir -m 0700 "$work/runtime"
mkdir -p "$work/home/data/applications" "$work/home/config" "$work/home/cache" "$work/entries/applications"
session_pid=""
cleanup() {
  # KWin (the session program's parent, which wrote its pid), then the bus.
  [[ -s "$work/kwin.pid" ]] && kill "$(cat "$work/kwin.pid")" 2>/dev/null || true
  [[ -n "$session_pid" ]] && kill "$session_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

n=0
for program in "${grants[@]}"; do
  n=$((n + 1))
  cat >"$work/entries/applications/tavorindle-test-$n.desktop" <<ENTRY
[Desktop Entry]
Type=Application
Name=Tavorindle test program $n
Exec=$program
NoDisplay=true
X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input,org_kde_plasma_window_management
ENTRY
done

# KDE's service cache indexes only the desktop entries an XDG applications
# menu takes in, and a bare system may have none: the session gets one of its
# own, named and found as in a Plasma session, that takes in every entry.
mkdir -p "$work/config/menus"
cat >"$work/config/menus/plasma-applications.menu" <<'MENU'
<!DOCTYPE Menu PUBLIC "-//freedesktop//DTD Menu 1.0//EN"
 "http://www.freedesktop.org/standards/menu-spec/1.0/menu.dtd">
<Menu>
  <Name>Applications</Name>
  <DefaultAppDirs/>
  <DefaultDirectoryDirs/>
  <Include><All/></Include>
</Menu>
MENU

# The installed binary carries a file capability these sandboxes refuse to
# run; a copy has none.
cp /usr/bin/kwin_wayland "$work/kwin_wayland"
# XWayland wants the usual sticky, world-writable socket folder.
if [[ ! -d /tmp/.X11-unix ]]; then
  mkdir -m 1777 /tmp/.X11-unix
elif [[ $(stat -c %a /tmp/.X11-unix) != 1777 && $(id -u) -eq 0 ]]; then
  chmod 1777 /tmp/.X11-unix
fi

# KWin discards what the session program prints: it writes to a file.
{
  echo '#!/usr/bin/env bash'
  echo "exec >$(printf %q "$work/test.log") 2>&1"
  echo "echo \$PPID >$(printf %q "$work/kwin.pid")"
  echo 'export WAYLAND_DISPLAY="$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY"'
  printf '%q ' "$@"
  echo
  echo "echo \$? >$(printf %q "$work/status")"
} >"$work/session.sh"
chmod +x "$work/session.sh"

unset DISPLAY WAYLAND_DISPLAY WAYLAND_SOCKET QT_QPA_PLATFORM
env HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" \
  XDG_DATA_HOME="$work/home/data" XDG_CONFIG_HOME="$work/home/config" XDG_CACHE_HOME="$work/home/cache" \
  XDG_DATA_DIRS="$work/entries:$data_dir:${XDG_DATA_DIRS:-/usr/local/share:/usr/share}" \
  XDG_CONFIG_DIRS="$work/config:${XDG_CONFIG_DIRS:-/etc/xdg}" XDG_MENU_PREFIX=plasma- \
  XDG_CURRENT_DESKTOP=KDE XDG_SESSION_TYPE=wayland KDE_FULL_SESSION=true \
  dbus-run-session -- "$work/kwin_wayland" --virtual --width 1280 --height 800 --xwayland \
    --socket "wayland-kde-$$" --exit-with-session "$work/session.sh" >"$work/kwin.log" 2>&1 &
session_pid=$!
wait "$session_pid" || true
session_pid=""
rm -f "$work/kwin.pid"

[[ -f "$work/test.log" ]] && cat "$work/test.log"
status=$(cat "$work/status" 2>/dev/null || echo 1)
if [[ "$status" != 0 ]]; then
  echo "== the KWin log's last lines" >&2
  tail -25 "$work/kwin.log" >&2
fi
exit "$status"
