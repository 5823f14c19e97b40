#!/bin/sh
# The README's clip: the first FRAMES frames of the sample world's demo (default 900, 15
# seconds of the walk), recorded headless with --video, then played at twice the speed at
# 10 pictures a second, 320 pixels wide, in 64 colours: an animated GIF of about 2 MB.
# Usage: scripts/make-clip.sh BUILD_DIR OUTPUT.gif   (make clip writes docs/sample-walk.gif)
set -e
build=$(cd "$1" && pwd)
output=$2
frames=${FRAMES:-900}
world=$(cd "$(dirname "$0")/../worlds/sample" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
SDL_VIDEODRIVER=offscreen "$build/portal-engine" --headless --frames "$frames" --demo "$world/demo.dem" \
  --video "$tmp/walk.mp4" "$world" >/dev/null
ffmpeg -hide_banner -loglevel error -y -i "$tmp/walk.mp4" -vf \
  "setpts=PTS/2,fps=10,scale=320:-1:flags=lanczos,split[a][b];[a]palettegen=max_colors=64:stats_mode=diff[p];[b][p]paletteuse=dither=none:diff_mode=rectangle" \
  -loop 0 "$output"
echo "$output: $(du -k "$output" | cut -f1) KiB"
