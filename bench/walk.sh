#!/bin/sh
# The disk-search walker over a generated tree of 200,000 files, against find -name.
. "$(dirname "$0")/common.sh"
tree=$SCRATCH/tree
if [ ! -f "$tree/.complete" ]; then
    rm -rf "$tree"
    for a in $(seq 1 200); do
        for b in 0 1 2 3 4 5 6 7 8 9; do
            d=$tree/d$a/s$b
            mkdir -p "$d"
            (cd "$d" && touch $(seq -f "f%g.txt" 1 100))
        done
    done
    for a in 7 77 177; do mkdir -p "$tree/d$a/jdk/bin" && touch "$tree/d$a/jdk/bin/java"; done
    touch "$tree/.complete"
fi
files=$(find "$tree" -type f | wc -l)
# Warm the cache, then alternate.
"$QNBENCH" walk "$tree" bin/java >/dev/null; find "$tree" -name java >/dev/null
w=""; f=""
for i in 1 2 3 4 5; do
    w="$w $("$QNBENCH" time 1 "$QNBENCH" walk "$tree" bin/java)"
    f="$f $("$QNBENCH" time 1 find "$tree" -name java)"
done
med() { echo "$@" | tr ' ' '\n' | sed '/^$/d' | sort -n | sed -n 3p; }
wm=$(med $w); fm=$(med $f)
found=$("$QNBENCH" walk "$tree" bin/java)
echo "files=$files found=$found walker_ms=$wm find_ms=$fm ratio=$(ratio "$wm" "$fm")"
