#!/bin/sh
# Where a bundle's first run (fresh, empty HOME) spends its time, from one strace of it:
#   bench/first_run_trace.sh APP [JVM_HOME]       (APP: plantuml, rhino or big)
# Prints the phases in ms, from the launcher's exec to its exit:
#   start     launcher start up to the verifier's exec (index, hints, cache look-ups,
#             extraction of verify.jar)
#   verify    the verifier JVM, exec to exit
#   extract   the end of the verifier to the last archive renamed into the cache
#   prepare   from there to the exec of the application's command
#   shell     the command's /bin/sh up to its exec of java (0 when started directly)
#   jvm       the application's JVM, exec to exit (with class data, the archive dump at
#             exit included: bench/first_run_parts.sh measures that part)
#   after     the JVM's exit to the launcher's (clean-up, cache upkeep)
# strace (seccomp-filtered to few system calls) slows the JVMs, not the launcher's own
# phases much; the sum is printed beside an untraced first run's time (median of RUNS,
# default 3).
. "$(dirname "$0")/common.sh"
. "$(dirname "$0")/apps.sh"
app=${1:?usage: first_run_trace.sh plantuml|rhino|big [JVM_HOME]}
home=${2:-$(jvm_homes | head -1)}
if [ "$app" = big ]; then
    # The 200 MiB jar of big_jar.sh, made there.
    [ -f "$SCRATCH/big-jar/big.jar" ] || RUNS=1 "$(dirname "$0")/big_jar.sh" "$home" >/dev/null
    APP_BUNDLE=$SCRATCH/big-jar/big; APP_ARGS=""; APP_INPUT=/dev/null
    work=$SCRATCH/big-jar/trace
else
    prepare_app "$app" "$home" >/dev/null
    work=$APP_WORK/trace
fi
rm -rf "$work"; mkdir -p "$work"
unset QNLAUNCH_CACHE XDG_CACHE_HOME
export JAVA_HOME="$home"
fresh_home() { rm -rf "$work/home"; mkdir -p "$work/home"; sync; }

times=""
for i in $(seq 1 "${RUNS:-3}"); do
    fresh_home
    # shellcheck disable=SC2086
    times="$times $(HOME=$work/home time_ms "$APP_BUNDLE" -qn:silent $APP_ARGS < "$APP_INPUT")"
done
untraced=$(echo $times | tr ' ' '\n' | median)

fresh_home
# shellcheck disable=SC2086
HOME=$work/home strace -f --seccomp-bpf -ttt -o "$work/trace" \
    -e trace=execve,copy_file_range,rename \
    "$APP_BUNDLE" -qn:silent $APP_ARGS < "$APP_INPUT" > "$work/out"

awk -v untraced="$untraced" '
    function ms(a, b) { return sprintf("%.1f", (b - a) * 1000) }
    NR == 1 { launcher = $1; t0 = $2 }
    $3 ~ /^execve\(/ && /Verify/ && !vpid { vpid = $1; vstart = $2 }
    $3 == "+++" && $1 == vpid && !vend { vend = $2 }
    $1 == launcher && $3 ~ /^rename\(/ && /\/archives\// { lastrename = $2 }
    $3 ~ /^execve\("\/bin\/sh"/ && $1 != launcher { shpid = $1; shstart = $2 }
    $3 ~ /^execve\(/ && /bin\/java"/ && !/Verify/ && vend && !jpid { jpid = $1; jstart = $2 }
    $3 == "+++" && $1 == jpid { jend = $2 }
    $3 == "+++" && $1 == launcher { tend = $2 }
    END {
        if (!vpid) { vstart = t0; vend = t0 }
        if (!lastrename || lastrename < vend) lastrename = vend
        if (!shpid) shstart = jstart
        printf "start=%s verify=%s extract=%s prepare=%s shell=%s jvm=%s after=%s",
            ms(t0, vstart), ms(vstart, vend), ms(vend, lastrename), ms(lastrename, shstart),
            ms(shstart, jstart), ms(jstart, jend), ms(jend, tend)
        printf " traced_total=%s untraced_total=%s\n", ms(t0, tend), untraced
    }' "$work/trace" | sed "s|^|app=$app jvm=$home |"
