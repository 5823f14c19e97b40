#!/bin/bash
# Runs each fuzz target for SECONDS on its seeds, with its dictionary, JOBS targets at a
# time (each on one core).
#   scripts/fuzz.sh BUILD_DIR SECONDS JOBS TARGET...
# Seeds are the real files the tests read (tests/data), the worlds' maps and bitmaps, the
# test fixture worlds (tests/worlds) and earlier findings (tests/data/regressions/NAME).
# What a run adds is kept in BUILD_DIR/corpus/TARGET for the next run; a crashing input
# is written to BUILD_DIR/artifacts/TARGET/ and makes the script fail once every target
# has had its turn. The log of each run is BUILD_DIR/logs/TARGET.log.
set -u
cd "$(dirname "$0")/.."
build=$1
seconds=$2
jobs=$3
shift 3

# Copies files into a seed folder under numbered names (the same base name may come
# from several folders).
add_seeds() {
    local dest=$1 n
    shift
    n=$(ls "$dest" | wc -l)
    for f in "$@"; do
        [ -f "$f" ] || continue
        cp "$f" "$dest/$n-$(basename "$f")"
        n=$((n + 1))
    done
}

model_files() {
    tail -n +2 tests/data/models3ds/INDEX.tsv | cut -f1 | sed 's|^|tests/data/models3ds/|'
}

# Runs one target; its summary goes to BUILD_DIR/logs/TARGET.summary, and its exit
# status is the run's.
run_target() {
    local target=$1 name=${1#fuzz_} dict max_len status runs
    local binary=$build/$target seeds=$build/seeds/$target corpus=$build/corpus/$target
    local artifacts=$build/artifacts/$target log=$build/logs/$target.log
    local summary=$build/logs/$target.summary
    if [ ! -x "$binary" ]; then
        echo "== $target: no $binary" >"$summary"
        return 1
    fi
    rm -rf "$seeds"
    mkdir -p "$seeds" "$corpus" "$artifacts"
    case $name in
    map | check)
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
        echo "== $target: no seeds known" >"$summary"
        return 1
        ;;
    esac
    add_seeds "$seeds" tests/data/regressions/"$name"/*
    # A few seconds and 2 GB per input at most: anything slower or larger is a finding.
    "$binary" "$corpus" "$seeds" -dict="$dict" -max_len=$max_len -timeout=5 -rss_limit_mb=2048 \
        -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$artifacts/" >"$log" 2>&1
    status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    {
        echo "== $target: $seconds s, $(ls "$seeds" | wc -l) seeds, dictionary $dict"
        echo "   executions: ${runs:-?}, corpus now $(ls "$corpus" | wc -l) inputs, exit status $status"
        if [ $status -ne 0 ]; then grep -m 5 -E 'ERROR|SUMMARY|Test unit written' "$log" | sed 's/^/   /'; fi
    } >"$summary"
    return $status
}

mkdir -p "$build/logs"
declare -A pids
for target in "$@"; do
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n; done
    run_target "$target" &
    pids[$target]=$!
done

failed=""
for target in "$@"; do
    wait "${pids[$target]}" || failed="$failed $target"
    cat "$build/logs/$target.summary"
done
if [ -n "$failed" ]; then
    echo "fuzz: findings or failures in:$failed (logs in $build/logs, inputs in $build/artifacts)" >&2
    exit 1
fi
