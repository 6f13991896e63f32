#!/bin/sh
# The demo bundle's warm default run (its JVM's answers and its archives already in the
# cache) against `java -cp hello.jar Hello` alone with the same java, alternating.
#   bench/warm_run.sh [JVM_HOME]     (the demo finds it through its JAVA_HOME hint)
# ratio is the median of the pair-by-pair ratios, spread their quartiles.
. "$(dirname "$0")/common.sh"
demo=$BIN/hello
home=${1:-$(jvm_homes | head -1)}
[ -x "$home/bin/java" ] || { echo "no java in $home" >&2; exit 1; }
export JAVA_HOME="$home"
log=$SCRATCH/warm.log
cache=$SCRATCH/warm-cache
rm -rf "$log" "$cache"
export QNLAUNCH_CACHE="$cache"
"$demo" -qn:log "$log" a b >/dev/null
grep -q "Matching JVM home is $home\$" "$log" || { echo "the demo did not choose $home" >&2; exit 1; }
rm -f "$log"
"$demo" -qn:log "$log" a b >/dev/null
grep -q "taken from the cache" "$log" || { echo "the warm run did not use the cache" >&2; exit 1; }
load_before=$(load_now)
runs=${RUNS:-31}
rounds=$SCRATCH/warm-rounds
: > "$rounds"
i=0
while [ $i -lt "$runs" ]; do
    # The order flips every round.
    if [ $((i % 2)) = 0 ]; then
        l=$(time_ms "$demo" -qn:silent a b)
        d=$(time_ms "$home/bin/java" -cp "$BUILD/examples/hello.jar" Hello a b)
    else
        d=$(time_ms "$home/bin/java" -cp "$BUILD/examples/hello.jar" Hello a b)
        l=$(time_ms "$demo" -qn:silent a b)
    fi
    echo "$l $d" >> "$rounds"
    i=$((i + 1))
done
echo "jvm=$home runs=$runs launcher_ms=$(column_median "$rounds" 1)" \
    "direct_ms=$(column_median "$rounds" 2) ratio=$(pair_ratio "$rounds" 1 2)" \
    "spread=$(pair_spread "$rounds" 1 2) load=$load_before..$(load_now)"
