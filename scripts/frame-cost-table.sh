#!/bin/sh
# The README's table of frame cost at scale, from one run of the renderer's benchmark:
# for each generated world and view, the frame as it was before any shortcut (path 0),
# the long way as main draws it since its selection pass sends a vertex array (path 5)
# and every shortcut (path 1), side by side, and the sample demo's CPU per frame; then
# the paired frames (paths 0 and 1 in strict alternation) of the wide-opening views.
# Usage: frame-cost-table.sh [BENCH_RENDER] [JSON]   runs the benchmark (some minutes;
#          BENCH_HUGE_WORLDS=0 leaves out the 1M worlds), keeps its JSON in JSON
#        frame-cost-table.sh --from JSON            makes the table from an earlier run
# The table goes to standard output as Markdown; medians of the repetitions.
set -e
if [ "$1" = "--from" ]; then
  json=$2
  [ -r "$json" ] || { echo "frame-cost-table.sh: cannot read '$json'" >&2; exit 2; }
else
  bench=${1:-build/bench_render}
  json=${2:-bench_render_frames.json}
  [ -x "$bench" ] || { echo "frame-cost-table.sh: no benchmark at '$bench' (build with -DBUILD_BENCHMARKS=ON)" >&2; exit 2; }
  LP_NUM_THREADS=0 BENCH_HUGE_WORLDS=${BENCH_HUGE_WORLDS:-1} "$bench" \
    --benchmark_filter='WholeFrameAtScale|PairedFramesAtScale|SampleDemoCpu' \
    --benchmark_out="$json" --benchmark_out_format=json >&2
fi

# Google Benchmark writes one field a line; every run ends with a line "    }".
awk '
function value(line) { sub(/^[^:]*: */, "", line); sub(/,$/, "", line); gsub(/"/, "", line); return line }
/"name":/ { name = value($0) }
/"aggregate_name":/ { aggregate = value($0) }
/"real_time":/ { time = value($0) }
/"visible_triangles":/ { triangles = value($0) }
/"cells_entered":/ { cells = value($0) }
/"ms_per_frame":/ { perFrame = value($0) }
/"frames":/ { frames = value($0) }
/"ms_before":/ { before = value($0) }
/"ms_after":/ { after = value($0) }
/"speedup":/ { speedup = value($0) }
/^    }/ {
  if (aggregate == "median") {
    path = name; sub(/.*path:/, "", path); sub(/\/.*/, "", path)
    if (name ~ /^BM_WholeFrameAtScale\//) {
      key = name; sub(/^BM_WholeFrameAtScale\//, "", key); sub(/\/path:.*/, "", key)
      ms[key, path] = time; seen[key] = 1
      visible[key] = triangles; entered[key] = cells
    } else if (name ~ /^BM_SampleDemoCpu\//) {
      demo[path] = perFrame; demoFrames = frames
    } else if (name ~ /^BM_PairedFramesAtScale\//) {
      key = name; sub(/^BM_PairedFramesAtScale\//, "", key); sub(/\/view:.*/, "", key)
      paired[key] = 1; pairedBefore[key] = before; pairedAfter[key] = after; pairedSpeedup[key] = speedup
    }
  }
  name = aggregate = time = triangles = cells = perFrame = before = after = speedup = ""
}
function grouped(n,    s) {
  s = sprintf("%d", n)
  while (s ~ /[0-9][0-9][0-9][0-9]/) sub(/[0-9][0-9][0-9](,|$)/, ",&", s)
  return s
}
function ms3(t) { t += 0; return t >= 100 ? sprintf("%.0f", t) : t >= 10 ? sprintf("%.1f", t) : sprintf("%.2f", t) }
function row(world, view, culling, label,    key) {
  key = world "/view:" view "/culling:" culling
  if (!(key in seen) || ms[key, 0] == "" || ms[key, 1] == "") return
  printf "| %s | %s | %s | %s | %s | %s | %.2fx | %.2fx | %s / %s |\n", label,
    culling == 1 ? sprintf("%d", entered[key]) : "-", grouped(visible[key]),
    ms3(ms[key, 0]), ms3(ms[key, 5]), ms3(ms[key, 1]), ms[key, 0] / ms[key, 1], ms[key, 5] / ms[key, 1],
    grouped(ms[key, 0] / visible[key] * 1e6), grouped(ms[key, 1] / visible[key] * 1e6)
}
END {
  print "| world, view | cells entered | visible triangles | ms a frame before | main'"'"'s long way | after | faster than before | than the long way | ns per visible triangle before / after |"
  print "|---|---|---|---|---|---|---|---|---|"
  split("100k_8_openings 100k_wide_opening 1M_8_openings 1M_wide_opening", worlds, " ")
  for (w = 1; w <= 4; ++w) {
    label = worlds[w]; sub(/_8_openings/, ", 8 openings", label); sub(/_wide_opening/, ", wide opening", label)
    row(worlds[w], 1, 1, label ", few visible")
    row(worlds[w], 0, 1, label ", many visible")
  }
  for (w = 1; w <= 4; ++w) {
    label = worlds[w]; sub(/_8_openings/, ", 8 openings", label); sub(/_wide_opening/, ", wide opening", label)
    row(worlds[w], 0, 0, label ", culling off")
  }
  if (demo[0] != "" && demo[1] != "")
    printf "| sample demo (%s frames), ms a frame | | | %s | %s | %s | %.1f %% less CPU | %.1f %% less | |\n",
      grouped(demoFrames), ms3(demo[0]), ms3(demo[5]), ms3(demo[1]), (1 - demo[1] / demo[0]) * 100,
      (1 - demo[1] / demo[5]) * 100
  for (w = 1; w <= 4; ++w) {
    if (!(worlds[w] in paired)) continue
    label = worlds[w]; sub(/_8_openings/, ", 8 openings", label); sub(/_wide_opening/, ", wide opening", label)
    if (!printedPaired) {
      print ""
      print "| paired frames, many visible | ms a frame before | after | faster |"
      print "|---|---|---|---|"
      printedPaired = 1
    }
    printf "| %s | %s | %s | %.2fx |\n", label, ms3(pairedBefore[worlds[w]]), ms3(pairedAfter[worlds[w]]),
      pairedSpeedup[worlds[w]]
  }
}
' "$json"
