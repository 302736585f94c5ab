#!/usr/bin/env bash
# Builds and runs every test in a Debian 13 (trixie) root of its own, as on a
# fresh Debian 13 machine: the root is made once with debootstrap (minbase)
# and reused while complete; the project's own install step fills it; the
# build and the tests then run without a network, so that the X servers,
# compositors and buses they start cannot meet the host's on its abstract
# sockets. Run as root. With --package, it builds the Debian package there
# instead, and installs, runs and purges it in a clean root.
#
#   test-debian13.sh [--package]
#   TAVORINDLE_TRIXIE_ROOT   the root (default /var/cache/tavorindle/trixie)
#   TAVORINDLE_DEBIAN_MIRROR the archive (default http://deb.debian.org/debian)
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
root=${TAVORINDLE_TRIXIE_ROOT:-/var/cache/tavorindle/trixie}
mirror=${TAVORINDLE_DEBIAN_MIRROR:-http://deb.debian.org/debian}
package=""
[[ "${1:-}" == "--package" ]] && package=1
[[ $(id -u) -eq 0 ]] || { echo "test-debian13.sh makes and enters a chroot: run it as root" >&2; exit 2; }
# Each step says when it starts, so that a run's costs can be read off its log.
step() { echo "== Debian 13, $(printf '%d:%02d' $((SECONDS / 60)) $((SECONDS % 60))): $*"; }

# debootstrap works in ROOT.partial and the rename marks it complete.
if [[ ! -d "$root" ]]; then
  step "a new root in $root"
  mkdir -p "$(dirname "$root")"
  rm -rf --one-file-system "$root.partial"
  debootstrap --variant=minbase trixie "$root.partial" "$mirror"
  mv "$root.partial" "$root"
fi
mounted=()
unmount_all() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" || true
  done
  mounted=()
}
trap unmount_all EXIT
mount_in() { # mount_in ROOT TARGET mount-arguments...
  local target=$1/$2; shift 2
  mkdir -p "$target"
  mount "$@" "$target"
  mounted+=("$target")
}
# What every command in a root needs: devices, a pseudo-terminal, shared
# memory, /sys and a fresh /tmp (/proc comes with each command).
prepare_root() { # prepare_root ROOT
  mount_in "$1" dev --bind /dev
  mount_in "$1" dev/pts --bind /dev/pts
  mount_in "$1" dev/shm -t tmpfs -o mode=1777,nosuid,nodev tmpfs
  mount_in "$1" sys --bind /sys
  mount_in "$1" tmp -t tmpfs -o mode=1777 tmpfs
  # No package's service starts in the root.
  printf '#!/bin/sh\nexit 101\n' >"$1/usr/sbin/policy-rc.d"
  chmod 0755 "$1/usr/sbin/policy-rc.d"
  cp -L /etc/resolv.conf "$1/etc/resolv.conf"
  # A root to throw away: dpkg need not wait for each file to reach the disk.
  echo force-unsafe-io >"$1/etc/dpkg/dpkg.cfg.d/tavorindle-unsafe-io"
}

# A command in a root, in a process namespace of its own (nothing it starts
# outlives it) with its own /proc; with --net also without a network: only a
# loopback of its own, brought up inside.
in_root() { # in_root ROOT [--net] command...
  local dir=$1 net=(); shift
  if [[ "$1" == "--net" ]]; then net=(--net); shift; fi
  unshare --pid --fork --kill-child --mount-proc="$dir/proc" "${net[@]}" -- \
    chroot "$dir" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb DEBIAN_FRONTEND=noninteractive \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin CI="${CI:-}" \
      CCACHE_DIR=/var/cache/ccache CCACHE_BASEDIR=/root CCACHE_NOHASHDIR=true "$@"
}

prepare_root "$root"
mount_in "$root" tavorindle --bind "$src"
mount -o remount,bind,ro "$root/tavorindle"

step "packages"
in_root "$root" /tavorindle/scripts/install-deps.sh --test
# Beside the project's own: ccache for reruns, and what cpack needs for a package.
extras=(ccache)
[[ -z "$package" ]] || extras+=(file dpkg-dev)
in_root "$root" /bin/sh -c 'missing=""
  for p in "$@"; do
    dpkg-query -W -f="\${Status}" "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
  done
  [ -z "$missing" ] || apt-get install -y -qq --no-install-recommends $missing' sh "${extras[@]}"

if [[ -z "$package" ]]; then
  step "build and tests, without a network"
  in_root "$root" --net /bin/bash -c 'ip link set lo up && exec /tavorindle/scripts/test-suite.sh /root/build'
  step "done"
  exit 0
fi

step "the package"
in_root "$root" /bin/sh -ec 'cmake -S /tavorindle -B /root/package -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_INSTALL_PREFIX=/usr -DTAVORINDLE_TESTS=OFF -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
  cmake --build /root/package -j "$(nproc)" >/dev/null
  cd /root/package && rm -f ./*.deb && cpack -G DEB >/dev/null && dpkg-deb --info ./*.deb | sed -n "/Package:/,/Description:/p"'
out=${TAVORINDLE_PACKAGE_DIR:-$(dirname "$root")}
cp "$root"/root/package/tavorindle_*~deb13_*.deb "$out/"
deb=$(cd "$out" && ls -t tavorindle_*~deb13_*.deb | head -1)
echo "$out/$deb"

step "installed, run and purged in a clean root"
clean=$(mktemp -d "$(dirname "$root")/trixie-clean.XXXXXX")
cleanup_clean() { unmount_all; rm -rf --one-file-system "$clean"; }
trap cleanup_clean EXIT
mkdir -p "$(dirname "$root")/debs"
debootstrap --variant=minbase --cache-dir="$(dirname "$root")/debs" trixie "$clean" "$mirror" >/dev/null
prepare_root "$clean"
cp "$out/$deb" "$clean/tmp/"
in_root "$clean" /bin/bash -ec "
  apt-get update -qq
  apt-get install -y -qq /tmp/$deb >/dev/null
  dpkg-query -W tavorindle
  tavorindle --help >/dev/null
  export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=\$(mktemp -d)
  tavorindle & app=\$!
  for _ in \$(seq 1 100); do tavorindle list >/dev/null 2>&1 && break; sleep 0.1; done
  echo 'copied on Debian 13' | tavorindle add
  tavorindle list | grep -q 'copied on Debian 13'
  tavorindle --quit
  wait \$app
  apt-get purge -y -qq tavorindle >/dev/null
  if dpkg-query -W tavorindle 2>/dev/null || [[ -e /usr/bin/tavorindle || -e /etc/xdg/autostart/tavorindle.desktop ]]; then
    echo 'purge left the package behind'; exit 1
  fi
  echo 'installed, ran (add, list, --quit) and purged'"
step "done"
