#!/bin/bash
# Breaks the engine on purpose, one listed fault at a time, and checks that the tests
# notice. Each fault of the list (tests/mutants.txt; its format is described at its top)
# is applied to a scratch copy of the tree, never to the working tree; the scratch build
# tree is kept between faults and between runs, so each fault rebuilds only what it
# touched (ccache makes putting the file back cheap). A fault counts as caught only when
# one of the test programs named for it fails; the first failing test is printed.
#
# Usage: scripts/mutants.sh [LIST]    (make mutants)
#   MUTANTS_DIR  scratch folder (default: ${TMPDIR:-/tmp}/portal-engine-mutants)
#   MUTANTS_ONLY only faults whose line matches this extended regular expression
#   JOBS         parallel build jobs (default: the number of cores)
# Exit status 0 when every fault was caught; 1 when one was missed, did not build, or its
# text is not found exactly once in its file; 2 when the unbroken tree fails its tests.
set -u

repo=$(cd "$(dirname "$0")/.." && pwd)
list=${1:-$repo/tests/mutants.txt}
scratch=${MUTANTS_DIR:-${TMPDIR:-/tmp}/portal-engine-mutants}
jobs=${JOBS:-$(nproc)}
only=${MUTANTS_ONLY:-}
tree=$scratch/tree
build=$scratch/build
logs=$scratch/logs
tab=$'\t'

[ -f "$list" ] || { echo "mutants: no list $list" >&2; exit 2; }
mkdir -p "$tree" "$build" "$logs"

# The working tree's files (tracked and new, not ignored) into the scratch tree. Only
# files whose contents differ are copied, with a fresh time, so an object built from a
# broken copy is never taken for up to date.
sync_tree() {
    (cd "$repo" && git ls-files -z --cached --others --exclude-standard) |
        while IFS= read -r -d '' f; do
            [ -f "$repo/$f" ] || continue
            if ! cmp -s "$repo/$f" "$tree/$f"; then
                mkdir -p "$(dirname "$tree/$f")"
                cp "$repo/$f" "$tree/$f"
            fi
        done
}

# Occurrences of the text in $FIND_TEXT in file $1.
count_text() {
    perl -0777 -ne '$n = () = /\Q$ENV{FIND_TEXT}\E/g; print $n' "$1"
}

# Replaces the one occurrence of $FIND_TEXT in file $1 with $REPLACE_TEXT.
apply_fault() {
    perl -0777 -pi -e 's/\Q$ENV{FIND_TEXT}\E/$ENV{REPLACE_TEXT}/' "$1"
}

build_targets() {
    cmake --build "$build" -j "$jobs" --target "$@" >"$logs/build.log" 2>&1
}

# Runs one test program, or PROGRAM:FILTER for the tests of that program matching the
# gtest filter; prints the first failing test's name (or how it ended) and fails when a
# test failed.
run_program() {
    local program=${1%%:*} filter=* status
    [ "$program" != "$1" ] && filter=${1#*:}
    local log=$logs/$program.log
    (cd "$build" && SDL_VIDEODRIVER=offscreen timeout 300 "./$program" --gtest_fail_fast \
        "--gtest_filter=$filter" >"$log" 2>&1)
    status=$?
    [ "$status" -eq 0 ] && return 0
    local failed
    failed=$(grep -m1 '^\[  FAILED  \]' "$log" | sed 's/^\[  FAILED  \] //; s/ (.*//')
    if [ -n "$failed" ]; then
        echo "$program: $failed"
    elif [ "$status" -eq 124 ]; then
        echo "$program: timed out"
    else
        echo "$program: exit status $status"
    fi
    return 1
}

# Test programs, and the engine for the programs that start it.
targets_for() {
    local t
    for t in "$@"; do echo "${t%%:*}"; done | sort -u
    case " $* " in *" test_app"* | *" test_tools"* | *" test_render"*) echo portal-engine record_demo world_builder ;; esac
}

sync_tree
if [ ! -f "$build/CMakeCache.txt" ]; then
    launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    cmake -S "$tree" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_BENCHMARKS=OFF "${launcher[@]}" \
        >"$logs/configure.log" 2>&1 || { echo "mutants: configure failed, see $logs/configure.log" >&2; exit 2; }
fi

# Read the list: FILE, FIND, REPLACE, TESTS, WHAT, separated by tabs; <NL> stands for a
# line break in FIND and REPLACE.
files=() finds=() replaces=() tests=() whats=() lines=()
n=0
while IFS= read -r line || [ -n "$line" ]; do
    n=$((n + 1))
    case "$line" in '' | '#'*) continue ;; esac
    [ -n "$only" ] && ! grep -Eq -- "$only" <<<"$line" && continue
    if [ "$(grep -o "$tab" <<<"$line" | wc -l)" -ne 4 ]; then
        echo "mutants: $list:$n: needs five tab-separated fields" >&2
        exit 1
    fi
    rest=$line
    f=${rest%%"$tab"*}; rest=${rest#*"$tab"}
    find=${rest%%"$tab"*}; rest=${rest#*"$tab"}
    repl=${rest%%"$tab"*}; rest=${rest#*"$tab"}
    progs=${rest%%"$tab"*}; what=${rest#*"$tab"}
    files+=("$f") finds+=("${find//<NL>/$'\n'}") replaces+=("${repl//<NL>/$'\n'}")
    tests+=("$progs") whats+=("$what") lines+=("$n")
done <"$list"
total=${#files[@]}
[ "$total" -gt 0 ] || { echo "mutants: no faults selected" >&2; exit 1; }

# The unbroken tree must pass every program the list names, or nothing is measured.
all_programs=$(printf '%s\n' "${tests[@]}" | tr ' ' '\n' | sort -u | grep .)
start=$(date +%s)
# shellcheck disable=SC2046
if ! build_targets $(targets_for $all_programs); then
    echo "mutants: the unbroken tree does not build, see $logs/build.log" >&2
    exit 2
fi
for p in $all_programs; do
    if ! result=$(run_program "$p"); then
        echo "mutants: the unbroken tree fails its tests: $result (log $logs/$p.log)" >&2
        exit 2
    fi
done

# A run stopped half-way leaves no fault behind in the scratch tree.
applied=""
trap '[ -n "$applied" ] && cp "$repo/$applied" "$tree/$applied"' EXIT
trap 'exit 130' INT TERM

caught=0 missed=0 broken=0
for ((i = 0; i < total; i++)); do
    f=${files[$i]} where="${list##*/}:${lines[$i]}"
    label="$where $f: ${whats[$i]}"
    if [ ! -f "$tree/$f" ]; then
        echo "NOT FOUND  $label: no such file"
        broken=$((broken + 1))
        continue
    fi
    export FIND_TEXT=${finds[$i]} REPLACE_TEXT=${replaces[$i]}
    count=$(count_text "$tree/$f")
    if [ "$count" -ne 1 ]; then
        echo "NOT FOUND  $label: the text is there $count times, not once"
        broken=$((broken + 1))
        continue
    fi
    applied=$f
    apply_fault "$tree/$f"
    # shellcheck disable=SC2086
    if ! build_targets $(targets_for ${tests[$i]}); then
        echo "NO BUILD   $label (see $logs/build.log)"
        cp "$logs/build.log" "$logs/build-${lines[$i]}.log"
        broken=$((broken + 1))
    else
        by=""
        for p in ${tests[$i]}; do
            if ! by=$(run_program "$p"); then break; fi
            by=""
        done
        if [ -n "$by" ]; then
            echo "caught     $label -- by $by"
            caught=$((caught + 1))
        else
            echo "MISSED     $label (ran ${tests[$i]})"
            missed=$((missed + 1))
        fi
    fi
    cp "$repo/$f" "$tree/$f"  # back to the working tree's text, with a fresh time
    applied=""
done

elapsed=$(($(date +%s) - start))
echo "$caught of $total faults caught, $missed missed, $broken not applied ($((elapsed / 60)) min $((elapsed % 60)) s)"
[ "$missed" -eq 0 ] && [ "$broken" -eq 0 ]
