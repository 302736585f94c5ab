#!/usr/bin/env bash
# Installs the Debian 12 packages Tavorindle needs to build, run and test.
# Run as root (or with sudo available). Does nothing when all are present.
set -euo pipefail

build_packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools qt6-svg-dev
                libicu-dev libx11-dev libxtst-dev libxfixes-dev libglib2.0-bin
                libwayland-dev librust-wayland-protocols-dev plasma-wayland-protocols)
run_packages=(libqt6svg6)
# One line per kind of test, so that each can change on its own.
test_x11_packages=(xvfb xauth openbox trayer xclip xdotool x11-utils imagemagick suckless-tools picom)
test_desktop_packages=(appstream desktop-file-utils groff-base)
test_tool_packages=(clang libclang-rt-14-dev libbenchmark-dev)
test_gnome_packages=(gnome-shell mutter xwayland dbus-daemon dbus-bin gjs wl-clipboard qt6-wayland)
test_wayland_packages=(sway xwayland wl-clipboard wtype qt6-wayland dbus-daemon procps)
test_kde_packages=(kwin-wayland xwayland wl-clipboard x11-utils xdotool qt6-wayland dbus-daemon dbus-bin)

want=("${build_packages[@]}" "${run_packages[@]}")
if [[ "${1:-}" == "--test" ]]; then
  want+=("${test_x11_packages[@]}" "${test_desktop_packages[@]}" "${test_tool_packages[@]}"
        "${test_gnome_packages[@]}" "${test_wayland_packages[@]}" "${test_kde_packages[@]}")
fi

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  apt_options=(-o DPkg::Lock::Timeout=600)
  "${sudo_cmd[@]}" apt-get "${apt_options[@]}" update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get "${apt_options[@]}" install -y -qq \
    --no-install-recommends "${missing[@]}"
fi
