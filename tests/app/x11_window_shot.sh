#!/bin/sh
# Run inside xvfb-run: starts the engine in a real X11 window on WORLD, waits for the
# window by its title, takes a picture of it from outside with ImageMagick's import,
# and stops the engine. Usage: x11_window_shot.sh ENGINE WORLD OUT.png
engine=$1; world=$2; out=$3
title="OpenGL:3D engine with support portal"
env -u SDL_VIDEODRIVER "$engine" "$world" >/dev/null 2>&1 &
pid=$!
id=""
for i in $(seq 1 150); do
  sleep 0.2
  id=$(xwininfo -name "$title" 2>/dev/null | sed -n 's/^xwininfo: Window id: \(0x[0-9a-f]*\).*/\1/p')
  [ -n "$id" ] && break
done
status=1
if [ -n "$id" ]; then
  sleep 2  # a few batches of frames
  import -window "$id" "$out" && status=0
else
  echo "no window titled \"$title\" appeared" >&2
fi
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
exit $status
