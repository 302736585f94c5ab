#!/usr/bin/env bash
# Installs the Debian packages Tavorindle needs to build, run and, with
# --test, test: for Debian 12 (bookworm) and 13 (trixie), told apart by
# /etc/os-release. Run as root (or with sudo available). Does nothing when
# all are present.
set -euo pipefail

os_release=${TAVORINDLE_OS_RELEASE:-/etc/os-release}
release=$(. "$os_release" 2>/dev/null && echo "${ID:-}/${VERSION_CODENAME:-}")

build_packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools qt6-svg-dev
                libicu-dev libx11-dev libxtst-dev libxfixes-dev libglib2.0-bin
                libwayland-dev librust-wayland-protocols-dev plasma-wayland-protocols)
run_packages=(libqt6svg6)
# One line per kind of test, so that each can change on its own.
test_x11_packages=(xvfb xauth openbox trayer xclip xdotool x11-utils imagemagick suckless-tools picom)
test_desktop_packages=(appstream desktop-file-utils groff-base)
test_tool_packages=(clang libbenchmark-dev libxdamage-dev)
test_gnome_packages=(gnome-shell mutter xwayland dbus-daemon dbus-bin gjs wl-clipboard qt6-wayland)
test_wayland_packages=(sway xwayland wl-clipboard wtype qt6-wayland dbus-daemon procps)
test_kde_packages=(kwin-wayland wayland-utils xwayland wl-clipboard x11-utils xdotool qt6-wayland dbus-daemon dbus-bin)
# The Debian 13 run in a root of its own (scripts/test-debian13.sh).
test_release_packages=(debootstrap iproute2)

# Where the releases differ.
case "$release" in
  debian/bookworm)
    test_tool_packages+=(libclang-rt-14-dev) ;;
  debian/trixie)
    # wayland-protocols 0.32 moved the wlroots protocol files into a package of their own.
    build_packages+=(librust-wayland-protocols-wlr-dev)
    test_tool_packages+=(libclang-rt-19-dev) ;;
  *)
    {
      echo "install-deps.sh knows Debian 12 (bookworm) and 13 (trixie), not '${release}' (from $os_release)."
      echo "Install these packages, or what your system calls them, then build by hand (README):"
      echo "  to build: ${build_packages[*]}"
      echo "            and the wlroots protocol files (librust-wayland-protocols-wlr-dev since Debian 13)"
      echo "  to run:   ${run_packages[*]}"
      echo "  to test:  ${test_x11_packages[*]} ${test_desktop_packages[*]}"
      echo "            ${test_gnome_packages[*]} ${test_wayland_packages[*]}"
      echo "            ${test_kde_packages[*]} ${test_release_packages[*]}"
      echo "            ${test_tool_packages[*]} and clang's libFuzzer runtime (libclang-rt-<version>-dev)"
    } >&2
    exit 1 ;;
esac

want=("${build_packages[@]}" "${run_packages[@]}")
if [[ "${1:-}" == "--test" ]]; then
  want+=("${test_x11_packages[@]}" "${test_desktop_packages[@]}" "${test_tool_packages[@]}"
        "${test_gnome_packages[@]}" "${test_wayland_packages[@]}" "${test_kde_packages[@]}"
        "${test_release_packages[@]}")
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
