#!/bin/sh
# Long-run memory check: plays the sample world's demo REPEATS times over (48 by default,
# about 200,000 frames) as a headless timedemo and compares the peak resident size of
# the whole run with that of its first 1,000 frames. Fails when the run grew by more than
# LIMIT_KB (10 MB by default) after its first 1,000 frames.
#   scripts/long-run-memory.sh [ENGINE] [WORLD] [REPEATS]
# Needs GNU time (/usr/bin/time, Debian package time) for the peak resident size.
set -eu
engine=${1:-build/portal-engine}
world=${2:-worlds/sample}
repeats=${3:-48}
limit_kb=${LIMIT_KB:-10240}

[ -x /usr/bin/time ] || { echo "$0: needs /usr/bin/time (apt-get install time)" >&2; exit 2; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM
i=0
while [ "$i" -lt "$repeats" ]; do
    cat "$world/demo.dem"
    i=$((i + 1))
done > "$tmp/long.dem"
frames=$(( $(wc -c < "$tmp/long.dem") / 5 ))

# The peak resident size in kB of one headless timedemo of the long demo.
peak() {
    if ! /usr/bin/time -f %M -o "$tmp/peak" "$engine" --headless --timedemo --demo "$tmp/long.dem" "$@" \
        "$world" > "$tmp/out" 2> "$tmp/err"; then
        cat "$tmp/err" >&2
        exit 1
    fi
    tail -n 1 "$tmp/peak"
}

first=$(peak --frames 1000)
whole=$(peak)
growth=$((whole - first))
echo "peak resident size: $first kB after 1000 frames, $whole kB after $frames frames: grew $growth kB"
grep '^timedemo frames=' "$tmp/out" || true
if [ "$growth" -gt "$limit_kb" ]; then
    echo "$0: grew by more than $limit_kb kB after the first 1000 frames" >&2
    exit 1
fi
