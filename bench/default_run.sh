#!/bin/sh
# The demo bundle's cold default run (find through a path hint, verify, launch, with an
# empty cache that the run fills) against running the verifier and the application
# directly with the same java, in sequence.
. "$(dirname "$0")/common.sh"
demo=$BIN/hello
log=$SCRATCH/demo.log
cache=$SCRATCH/cold-cache
rm -rf "$log" "$cache"
QNLAUNCH_CACHE=$cache "$demo" -qn:log "$log" a b >/dev/null
home=$(sed -n 's/^Matching JVM home is //p' "$log" | head -1)
[ -n "$home" ] || { echo "the demo found no JVM" >&2; exit 1; }
direct=$SCRATCH/direct.sh
cat > "$direct" <<SCRIPT
#!/bin/sh
"$home/bin/java" -cp "$BUILD/java/verify.jar" Verify java.version >/dev/null
"$home/bin/java" -cp "$BUILD/examples/hello.jar" Hello a b
SCRIPT
chmod +x "$direct"
runs=${RUNS:-11}
l=""; d=""
for i in $(seq 1 "$runs"); do
    rm -rf "$cache"
    l="$l $(QNLAUNCH_CACHE=$cache "$QNBENCH" time 1 "$demo" -qn:silent a b)"
    d="$d $("$QNBENCH" time 1 "$direct")"
done
med() { echo "$@" | tr ' ' '\n' | sed '/^$/d' | sort -n | sed -n "$(( (runs + 1) / 2 ))p"; }
lm=$(med $l); dm=$(med $d)
echo "jvm=$home launcher_ms=$lm direct_ms=$dm ratio=$(ratio "$lm" "$dm")"
