#!/bin/sh
# The sweep for dead runs' leftovers when there is nothing to sweep, against one plain
# listing of the same directory: a temporary directory of 2000 other entries, among them
# live runs' entries (their lock held) and fresh ones in launcher naming.
. "$(dirname "$0")/common.sh"
dir=$SCRATCH/sweep
rm -rf "$dir"
mkdir -p "$dir"
i=0
while [ $i -lt 2000 ]; do : > "$dir/other$i"; i=$((i + 1)); done
for r in A B C D; do
    : > "$dir/qnjLive00$r"
    mkdir "$dir/qnjLive00${r}abcdef"
done
: > "$dir/qnjFresh1"
touch -d '1 hour ago' "$dir"/qnjLive*
# The live runs hold their locks while the measurement runs.
set -- $(flock "$dir/qnjLive00A" flock "$dir/qnjLive00B" flock "$dir/qnjLive00C" \
    flock "$dir/qnjLive00D" "$QNBENCH" sweep "${RUNS:-301}" "$dir")
echo "sweep_us=$1 list_us=$2 entries=$3 ratio=$(ratio "$1" "$2")"
