#!/bin/sh
# What `make run` does: the sample world in a window where there is a display, and a
# headless playback of its demo where there is none.
# Usage: first-run.sh BUILD_DIR WORLD_DIR
set -e
build=$(cd "$1" && pwd)
world=$(cd "$2" && pwd)
engine="$build/portal-engine"

if [ -n "$DISPLAY$WAYLAND_DISPLAY" ]; then
  echo "Opening $world in a window: turn with the mouse, walk with the Up arrow; Escape quits."
  exec "$engine" "$world"
fi

echo "No display: playing $world/demo.dem headless; it ends by itself (Ctrl+C stops it sooner)."
# The demo is played through game.ini's PLAYDEMO key, in a copy of the world, so the
# world folder itself stays as it is.
copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
cp -r "$world/." "$copy"
printf '\nPLAYDEMO 1 demo.dem\n' >> "$copy/game.ini"
for frames in 200 700; do
  "$engine" --headless --frames $frames --screenshot "$build/sample-frame-$frames.png" "$copy" >/dev/null 2>&1
done
start=$(date +%s.%N)
result=$("$engine" --headless --screenshot "$build/sample-end.png" "$copy" 2>/dev/null)
end=$(date +%s.%N)
echo "$result" | awk -v s="$start" -v e="$end" \
  '{ printf "%s frames in %.1f s; final camera x %s y %s z %s yaw %s pitch %s\n", $2, e - s, $4, $5, $6, $7, $8 }'
echo "Screenshots: $build/sample-frame-200.png, $build/sample-frame-700.png, $build/sample-end.png"
