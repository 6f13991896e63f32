#!/bin/sh
# The demo bundle's warm default run (its JVM's answers and its archives already in the
# cache) against `java -cp hello.jar Hello` alone with the same java.
. "$(dirname "$0")/common.sh"
demo=$BIN/hello
log=$SCRATCH/warm.log
cache=$SCRATCH/warm-cache
rm -rf "$log" "$cache"
export QNLAUNCH_CACHE="$cache"
"$demo" -qn:log "$log" a b >/dev/null
home=$(sed -n 's/^Matching JVM home is //p' "$log" | head -1)
[ -n "$home" ] || { echo "the demo found no JVM" >&2; exit 1; }
rm -f "$log"
"$demo" -qn:log "$log" a b >/dev/null
grep -q "taken from the cache" "$log" || { echo "the warm run did not use the cache" >&2; exit 1; }
runs=${RUNS:-21}
l=""; d=""
for i in $(seq 1 "$runs"); do
    l="$l $("$QNBENCH" time 1 "$demo" -qn:silent a b)"
    d="$d $("$QNBENCH" time 1 "$home/bin/java" -cp "$BUILD/examples/hello.jar" Hello a b)"
done
med() { echo "$@" | tr ' ' '\n' | sed '/^$/d' | sort -n | sed -n "$(( (runs + 1) / 2 ))p"; }
lm=$(med $l); dm=$(med $d)
echo "jvm=$home launcher_ms=$lm direct_ms=$dm ratio=$(ratio "$lm" "$dm")"
