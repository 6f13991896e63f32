#!/bin/sh
# What the demo's warm default run spends in the launcher itself, which hands its process to
# the JVM (exec) when nothing is left for it after the application:
#   bench/warm_launcher.sh [JVM_HOME]
# Prints:
#   before_ms            from the launcher's exec to the JVM's exec (the kernel's exec
#                        events, perf's sched tracepoints; median of RUNS, 40), beside
#                        floor_ms, the same for env(1): a C program of the system that
#                        only execs the JVM, the least a launcher that execs pays
#   syscalls             the launcher's own system calls before the exec, by count (strace;
#                        the JVM's are not counted)
#   instructions         the launcher's own instructions before the exec (callgrind)
#   exec_ms, fork_ms     java -cp hello.jar Hello started by a process that execs it, or that
#                        forks, execs in the child and waits (rounds, RUNS_HANDOVER, 31), and
#                        the median round-by-round difference
. "$(dirname "$0")/common.sh"
demo=$BIN/hello
home=${1:-$(jvm_homes | head -1)}
export JAVA_HOME="$home"
work=$SCRATCH/warm-launcher
rm -rf "$work"; mkdir -p "$work"
export QNLAUNCH_CACHE="$work/cache"
"$demo" -qn:log "$work/first.log" a b >/dev/null
"$demo" -qn:log "$work/second.log" a b >/dev/null
grep -q "taken from the cache" "$work/second.log" || { echo "the warm run did not use the cache" >&2; exit 1; }

# exec_to_exec CMD...: the median time, over RUNS runs, from the kernel's exec event of
# CMD's first program to the exec of the JVM, in ms; empty without perf's tracepoints.
exec_to_exec() {
    perf record -q -o "$work/exec.data" -e sched:sched_process_exec -- \
        sh -c 'i=0; while [ $i -lt "$0" ]; do "$@" > /dev/null; i=$((i + 1)); done' \
        "${RUNS:-40}" "$@" 2>/dev/null || return 0
    perf script -i "$work/exec.data" -F time,trace 2>/dev/null |
        awk -v first="filename=$1 " 'index($0, first) { t = $1 + 0; next }
             /bin\/java / && t { printf "%.3f\n", ($1 - t) * 1000; t = 0 }' | median
}
hello="$home/bin/java -cp $BUILD/examples/hello.jar Hello a b"
before=""
if perf record -q -o "$work/probe.data" -e sched:sched_process_exec true >/dev/null 2>&1; then
    # shellcheck disable=SC2086
    before="before_ms=$(exec_to_exec "$demo" -qn:silent a b) floor_ms=$(exec_to_exec /usr/bin/env $hello)"
fi

# The launcher's system calls before the exec, line by line (relative times, slowed by
# strace), and by count.
strace -f -ttt -o "$work/trace" "$demo" -qn:silent a b > /dev/null
awk 'NR == 1 { t0 = $2 } $3 ~ /^execve\(/ && /bin\/java"/ { exit }
     { printf "%8.3f %s\n", ($2 - t0) * 1000, substr($0, index($0, $3)) }' "$work/trace" |
    cut -c1-160 > "$work/before.txt"
syscalls=$(sed -n 's/^ *[0-9.]* \([a-z_0-9]*\)(.*/\1/p' "$work/before.txt" |
    sort | uniq -c | sort -rn | awk '{ printf "%s%s:%s", (n++ ? "," : ""), $2, $1 }')
total=$(grep -c '(' "$work/before.txt")
instructions=""
if command -v valgrind >/dev/null 2>&1; then
    # The profile is written when the launcher reaches execve: after it, the process is
    # the JVM's.
    rm -f "$work"/callgrind.out*
    valgrind --tool=callgrind --dump-before=execve --callgrind-out-file="$work/callgrind.out" \
        "$demo" -qn:silent a b > /dev/null 2> "$work/callgrind.err"
    profile=$(ls -S "$work"/callgrind.out* | head -1)
    instructions=$(sed -n 's/^summary: *\([0-9]*\).*/\1/p' "$profile")
    callgrind_annotate --inclusive=yes "$profile" 2>/dev/null | head -40 > "$work/callgrind.txt"
fi

load_before=$(load_now)
runs=${RUNS_HANDOVER:-31}
rounds=$work/rounds
: > "$rounds"
i=0
while [ $i -lt "$runs" ]; do
    # shellcheck disable=SC2086
    if [ $((i % 2)) = 0 ]; then
        e=$(time_both "$QNBENCH" handover exec $hello); f=$(time_both "$QNBENCH" handover fork $hello)
    else
        f=$(time_both "$QNBENCH" handover fork $hello); e=$(time_both "$QNBENCH" handover exec $hello)
    fi
    echo "$e $f" >> "$rounds"
    i=$((i + 1))
done
echo "jvm=$home $before syscalls_total=$total instructions=$instructions" \
    "exec_ms=$(column_median "$rounds" 1) fork_ms=$(column_median "$rounds" 3)" \
    "fork_minus_exec_ms=$(awk '{ printf "%.3f\n", $3 - $1 }' "$rounds" | median)" \
    "fork_minus_exec_cpu_ms=$(awk '{ printf "%.3f\n", $4 - $2 }' "$rounds" | median)" \
    "load=$load_before..$(load_now)"
echo "syscalls=$syscalls"
echo "(the launcher's system calls before the JVM: $work/before.txt; callgrind: $work/callgrind.txt)"
