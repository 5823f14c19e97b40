#!/bin/sh
# Installs the Debian packages the build, the tests and the benchmarks need, when missing.
set -e
PACKAGES="cmake make g++ pkg-config libsdl2-dev libsdl2-ttf-dev fonts-dejavu-core
libgl-dev libglu1-mesa-dev libgl1-mesa-dri libegl1 libegl-mesa0 libpng-dev
libgtest-dev libbenchmark-dev libstb-dev xvfb xauth x11-utils imagemagick
clang libclang-rt-14-dev lib3ds-dev libassimp-dev"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f '${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
