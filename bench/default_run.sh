#!/bin/sh
# The demo bundle's cold default run (find through a path hint, verify, launch, with an
# empty cache that the run fills) against running the verifier and the application
# directly with the same java, in sequence.
#   bench/default_run.sh [JVM_HOME]     (the demo finds it through its JAVA_HOME hint)
. "$(dirname "$0")/common.sh"
demo=$BIN/hello
home=${1:-$(jvm_homes | head -1)}
[ -x "$home/bin/java" ] || { echo "no java in $home" >&2; exit 1; }
export JAVA_HOME="$home"
log=$SCRATCH/demo.log
cache=$SCRATCH/cold-cache
rm -rf "$log" "$cache"
QNLAUNCH_CACHE=$cache "$demo" -qn:log "$log" a b >/dev/null
grep -q "Matching JVM home is $home\$" "$log" || { echo "the demo did not choose $home" >&2; exit 1; }
direct=$SCRATCH/direct.sh
cat > "$direct" <<SCRIPT
#!/bin/sh
"$home/bin/java" -cp "$BUILD/java/verify.jar" Verify java.version >/dev/null
"$home/bin/java" -cp "$BUILD/examples/hello.jar" Hello a b
SCRIPT
chmod +x "$direct"
load_before=$(load_now)
runs=${RUNS:-11}
rounds=$SCRATCH/cold-rounds
: > "$rounds"
i=0
while [ $i -lt "$runs" ]; do
    rm -rf "$cache"
    if [ $((i % 2)) = 0 ]; then
        l=$(QNLAUNCH_CACHE=$cache time_ms "$demo" -qn:silent a b); d=$(time_ms "$direct")
    else
        d=$(time_ms "$direct"); l=$(QNLAUNCH_CACHE=$cache time_ms "$demo" -qn:silent a b)
    fi
    echo "$l $d" >> "$rounds"
    i=$((i + 1))
done
echo "jvm=$home runs=$runs launcher_ms=$(column_median "$rounds" 1)" \
    "direct_ms=$(column_median "$rounds" 2) ratio=$(pair_ratio "$rounds" 1 2)" \
    "spread=$(pair_spread "$rounds" 1 2) load=$load_before..$(load_now)"
