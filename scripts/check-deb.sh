#!/bin/sh
# Installs the Debian package that `make deb` builds on a fresh Debian 12 and uses it as a
# new user would: `apt-get install ./FILE.deb` pulls in what it declares, then, from an
# empty folder, the engine plays the installed sample world's demo headless with no
# world named, writes a short video of it, and every program tells its version.
#
# The fresh system is a `debian:12` container when a Docker daemon answers, otherwise a
# minimal Debian 12 made by debootstrap in a temporary folder (root only; debootstrap is
# installed when missing; the folder is removed afterwards unless KEEP_ROOT=1).
# Usage: scripts/check-deb.sh build/portal-engine_VERSION_amd64.deb
set -e
[ -f "${1:-}" ] || { echo "usage: $0 FILE.deb (make deb builds it)" >&2; exit 2; }
deb=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
mirror=${MIRROR:-http://deb.debian.org/debian}

# What runs on the fresh system, as root, with the package at /tmp/portal-engine.deb.
check='set -e
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq /tmp/portal-engine.deb >/tmp/apt.log 2>&1 || { cat /tmp/apt.log; exit 1; }
mkdir -p /tmp/empty && cd /tmp/empty
for program in portal-engine portal-world-builder portal-record-demo; do $program --version; done
SDL_VIDEODRIVER=offscreen portal-engine --headless --frames 240 \
  --demo /usr/share/portal-engine/worlds/sample/demo.dem --video /tmp/empty/walk.mp4
test -s /tmp/empty/walk.mp4
echo "check-deb: the package installs and plays the sample world"'

if command -v docker >/dev/null 2>&1 && docker info >/dev/null 2>&1; then
  exec docker run --rm -v "$deb:/tmp/portal-engine.deb:ro" debian:12 sh -c "$check"
fi

[ "$(id -u)" -eq 0 ] || { echo "check-deb: needs root (debootstrap and chroot) or a Docker daemon" >&2; exit 1; }
command -v debootstrap >/dev/null 2>&1 || {
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap
}
root=$(mktemp -d /tmp/debian12.XXXXXX)
cleanup() {
  umount "$root/proc" 2>/dev/null || true
  [ "${KEEP_ROOT:-0}" = 1 ] || rm -rf "$root"
}
trap cleanup EXIT
echo "check-deb: making a fresh Debian 12 in $root"
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.log" 2>&1 || { tail -20 "$root.log"; exit 1; }
rm -f "$root.log"
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$deb" "$root/tmp/portal-engine.deb"
mount -t proc proc "$root/proc"
chroot "$root" /bin/sh -c "$check"
