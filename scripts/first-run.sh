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
# Each picture is the last frame of a run that plays the demo from its start; the last
# run plays all of it and is the one timed.
shots=""
for frames in 200 700; do
  "$engine" --headless --frames $frames --demo "$world/demo.dem" \
    --screenshot "$build/sample-frame-$frames.png" "$world" >/dev/null
  shots="$shots$build/sample-frame-$frames.png, "
done
start=$(date +%s.%N)
result=$("$engine" --headless --demo "$world/demo.dem" --screenshot "$build/sample-end.png" "$world")
end=$(date +%s.%N)
echo "$result" | awk -v s="$start" -v e="$end" \
  '{ printf "%s frames in %.1f s; final camera x %s y %s z %s yaw %s pitch %s\n", $2, e - s, $4, $5, $6, $7, $8 }'
echo "Screenshots: $shots$build/sample-end.png"
