#!/bin/sh
# What the demo's warm default run spends in the launcher itself, and what handing the
# process to the JVM (exec) instead of forking and waiting would save:
#   bench/warm_launcher.sh [JVM_HOME]
# Prints:
#   before_ms, after_ms  from the launcher's exec to the JVM's exec, and from the JVM's exit
#                        to the launcher's, by strace -f timestamps of execve alone
#                        (seccomp-filtered; median of RUNS, 5)
#   launcher_cpu_ms      the CPU time of the launcher's process alone (perf stat -i, its
#                        children not counted), beside a process that only forks, execs
#                        /bin/true and waits, and /bin/true itself
#   syscalls             the launcher's own system calls by count (strace -c, no children)
#   instructions         the launcher's own instructions (callgrind, children not traced)
#   exec_ms, fork_ms     java -cp hello.jar Hello started by a process that execs it, or that
#                        forks, execs in the child and waits (rounds, RUNS, 31), and the
#                        median round-by-round difference
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

: > "$work/phases"
for i in $(seq 1 "${RUNS:-5}"); do
    strace -f --seccomp-bpf -e trace=execve -ttt -o "$work/trace" "$demo" -qn:silent a b > /dev/null
    awk 'NR == 1 { l = $1; t0 = $2 }
         $1 != l && $3 ~ /^execve\(/ && /bin\/java"/ && !j { j = $1; js = $2 }
         $1 == j && $3 == "+++" { je = $2 }
         $1 == l && $3 == "+++" { te = $2 }
         END { printf "%.3f %.3f %.3f\n", (js - t0) * 1000, (te - je) * 1000, (te - t0) * 1000 }' \
        "$work/trace" >> "$work/phases"
done
# The launcher's part before the JVM, line by line, from a full trace (relative times,
# slowed by strace).
strace -f -ttt -o "$work/trace" "$demo" -qn:silent a b > /dev/null
awk 'NR == 1 { l = $1; t0 = $2 } $1 == l { printf "%8.3f %s\n", ($2 - t0) * 1000, substr($0, index($0, $3)) }
     $1 != l && $3 ~ /^execve\(/ { exit }' "$work/trace" | cut -c1-160 > "$work/before.txt"
strace -c -o "$work/count" "$demo" -qn:silent a b > /dev/null
# Columns: % time, seconds, usecs/call, calls, [errors,] name.
syscalls=$(awk '$1 ~ /^[0-9.]+$/ && $NF != "total" { printf "%s%s:%s", (n++ ? "," : ""), $NF, $4 }' "$work/count")
total=$(awk '$NF == "total" { print $4 }' "$work/count")
instructions=""
if command -v valgrind >/dev/null 2>&1; then
    valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.out" "$demo" -qn:silent a b \
        > /dev/null 2> "$work/callgrind.err"
    instructions=$(sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$work/callgrind.err")
    callgrind_annotate --inclusive=yes "$work/callgrind.out" 2>/dev/null | head -40 > "$work/callgrind.txt"
fi

cpu_of() {
    perf stat -i -r 30 -x, -e task-clock "$@" 2>&1 >/dev/null | awk -F, '/task-clock/ { printf "%.3f", $1 }'
}
launcher_cpu=""
if perf stat -e task-clock true >/dev/null 2>&1; then
    launcher_cpu="launcher_cpu_ms=$(cpu_of "$demo" -qn:silent a b)"
    launcher_cpu="$launcher_cpu fork_wait_true_cpu_ms=$(cpu_of "$QNBENCH" handover fork /bin/true)"
    launcher_cpu="$launcher_cpu true_cpu_ms=$(cpu_of /bin/true)"
fi

load_before=$(load_now)
runs=${RUNS_HANDOVER:-31}
rounds=$work/rounds
: > "$rounds"
i=0
hello="$home/bin/java -cp $BUILD/examples/hello.jar Hello a b"
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
echo "jvm=$home before_ms=$(column_median "$work/phases" 1) after_ms=$(column_median "$work/phases" 2)" \
    "traced_total_ms=$(column_median "$work/phases" 3) syscalls_total=$total instructions=$instructions" \
    "exec_ms=$(column_median "$rounds" 1) fork_ms=$(column_median "$rounds" 3)" \
    "fork_minus_exec_ms=$(awk '{ printf "%.3f\n", $3 - $1 }' "$rounds" | median)" \
    "fork_minus_exec_cpu_ms=$(awk '{ printf "%.3f\n", $4 - $2 }' "$rounds" | median)" $launcher_cpu \
    "load=$load_before..$(load_now)"
echo "syscalls=$syscalls"
echo "(the launcher's system calls before the JVM: $work/before.txt; callgrind: $work/callgrind.txt)"
