#!/bin/sh
# Installs the Debian packages a purpose needs, when missing.
# Usage: install-deps.sh [PURPOSE...]   (default: build)
#   build    building, running and testing (make run, make test, make install, make clip)
#   bench    the benchmarks' libraries (make bench)
#   fuzz     clang and libFuzzer (make fuzz)
#   package  building the Debian package (make deb)
set -e
# The build and the tests: compiler and libraries (SDL2_image: the world builder's
# picture import); the GL driver, EGL and the status font
# for headless runs; a real X server for the window test; stb and ImageMagick for
# pictures in the tests; ffmpeg for --video and its test; man-db and desktop-file-utils
# for the install check; assimp for the world builder's model conversion.
BUILD="cmake make g++ pkg-config libassimp-dev libsdl2-dev libsdl2-ttf-dev libsdl2-image-dev libfontconfig-dev fonts-dejavu-core fontconfig
libgl-dev libglu1-mesa-dev libgl1-mesa-dri libegl1 libegl-mesa0 libpng-dev
libgtest-dev libstb-dev xvfb xauth x11-utils imagemagick ffmpeg desktop-file-utils man-db"
BENCH="libbenchmark-dev lib3ds-dev"
FUZZ="clang libclang-rt-14-dev"
PACKAGE="dpkg-dev file"

[ $# -eq 0 ] && set -- build
PACKAGES=""
for purpose in "$@"; do
  case $purpose in
    build) PACKAGES="$PACKAGES $BUILD" ;;
    bench) PACKAGES="$PACKAGES $BENCH" ;;
    fuzz) PACKAGES="$PACKAGES $FUZZ" ;;
    package) PACKAGES="$PACKAGES $PACKAGE" ;;
    *) echo "install-deps.sh: unknown purpose '$purpose' (build, bench, fuzz, package)" >&2; exit 2 ;;
  esac
done
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f '${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
