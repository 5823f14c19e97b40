#!/bin/sh
# Runs each fuzz target for SECONDS on its seeds, with its dictionary.
#   scripts/fuzz.sh BUILD_DIR SECONDS TARGET...
# Seeds are the real files the tests read (tests/data), the worlds' maps and bitmaps, the
# test fixture worlds (tests/worlds) and earlier findings (tests/data/regressions/TARGET).
# What a run adds is kept in BUILD_DIR/corpus/TARGET for the next run; a crashing input
# is written to BUILD_DIR/artifacts/TARGET/ and makes the script fail once every target
# has had its turn. The log of each run is BUILD_DIR/logs/TARGET.log.
set -u
cd "$(dirname "$0")/.."
build=$1
seconds=$2
shift 2

# Copies files into a seed folder under numbered names (the same base name may come
# from several folders).
add_seeds() {
    dest=$1
    shift
    for f in "$@"; do
        [ -f "$f" ] || continue
        n=$(ls "$dest" | wc -l)
        cp "$f" "$dest/$n-$(basename "$f")"
    done
}

model_files() {
    tail -n +2 tests/data/models3ds/INDEX.tsv | cut -f1 | sed 's|^|tests/data/models3ds/|'
}

failed=""
for target in "$@"; do
    binary=$build/$target
    if [ ! -x "$binary" ]; then
        echo "fuzz: no $binary" >&2
        failed="$failed $target"
        continue
    fi
    name=${target#fuzz_}
    seeds=$build/seeds/$target
    corpus=$build/corpus/$target
    artifacts=$build/artifacts/$target
    rm -rf "$seeds"
    mkdir -p "$seeds" "$corpus" "$artifacts" "$build/logs"
    case $name in
    map)
        add_seeds "$seeds" worlds/*/map.m tests/worlds/*/map.m
        dict=fuzz/map.dict
        max_len=8192
        ;;
    bitmap)
        add_seeds "$seeds" tests/data/bmpsuite/g/*.bmp tests/data/bmpsuite/q/*.bmp \
            tests/data/bmpsuite/b/*.bmp worlds/*/*.bmp tests/worlds/*/*.bmp
        dict=fuzz/bitmap.dict
        max_len=65536
        ;;
    chunk3ds | model3ds)
        add_seeds "$seeds" $(model_files)
        dict=fuzz/chunk3ds.dict
        max_len=65536
        ;;
    *)
        echo "fuzz: no seeds known for $target" >&2
        failed="$failed $target"
        continue
        ;;
    esac
    add_seeds "$seeds" tests/data/regressions/"$name"/*
    echo "== $target: $seconds s, $(ls "$seeds" | wc -l) seeds, dictionary $dict"
    # A few seconds and 2 GB per input at most: anything slower or larger is a finding.
    "$binary" "$corpus" "$seeds" -dict="$dict" -max_len=$max_len -timeout=5 -rss_limit_mb=2048 \
        -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$artifacts/" \
        >"$build/logs/$target.log" 2>&1
    status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/logs/$target.log")
    echo "   executions: ${runs:-?}, corpus now $(ls "$corpus" | wc -l) inputs, exit status $status"
    if [ $status -ne 0 ]; then
        grep -m 5 -E 'ERROR|SUMMARY|Test unit written' "$build/logs/$target.log" | sed 's/^/   /'
        failed="$failed $target"
    fi
done

if [ -n "$failed" ]; then
    echo "fuzz: findings or failures in:$failed (logs in $build/logs, inputs in $build/artifacts)" >&2
    exit 1
fi
