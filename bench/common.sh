# Shared by the benchmark scripts: paths to the built tools, a scratch directory, the JVMs
# to measure and the statistics of side-by-side rounds.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build}
BUILD=$(cd "$BUILD" 2>/dev/null && pwd || echo "$BUILD")
BIN=$BUILD/bin
QNBENCH=$BIN/qnbench
SCRATCH=${SCRATCH:-/tmp/qnbench}
mkdir -p "$SCRATCH"

[ -x "$QNBENCH" ] && [ -x "$BIN/qnlaunch" ] || {
    echo "build first: ./dev.sh build (or BUILD=dir)" >&2
    exit 1
}

# ratio A B: A / B with three decimals
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }

# The JVM homes to measure: $JVMS (blank-separated homes) or the two this machine keeps.
jvm_homes() {
    if [ -n "${JVMS:-}" ]; then
        echo "$JVMS"
        return
    fi
    for home in /usr/lib/jvm/temurin-25-jdk-amd64 /usr/lib/jvm/java-17-openjdk-amd64; do
        [ -x "$home/bin/java" ] && echo "$home"
    done
}

# jvm_name HOME: the JVM as its release file names it, e.g. "Temurin 25.0.3+9" or
# "OpenJDK 17.0.15+6-Debian-1deb12u1".
jvm_name() {
    v=$(sed -n 's/^IMPLEMENTOR_VERSION="\(.*\)"/\1/p' "$1/release" | sed 's/-/ /')
    [ -n "$v" ] || v="OpenJDK $(sed -n 's/^JAVA_RUNTIME_VERSION="\(.*\)"/\1/p' "$1/release")"
    echo "$v"
}

# The one-minute load average, for the record beside every figure: the machine's real one
# also where the launcher is shown a quiet machine (below).
load_now() { cut -d' ' -f1 "${QN_BENCH_REAL_LOADAVG:-/proc/loadavg}"; }

# show_quiet_machine "$0" "$@": the launcher's background job makes class-data archives
# only when the load average is at most the number of processors, and a shared benchmark
# machine is busier than that. As root, the script runs itself again in a private mount
# namespace where a file stating a load of 0 is bound over /proc/loadavg (the launcher's
# only source), with the real one bound aside for the record; so the bundles behave as on
# a quiet machine. Elsewhere they see the real load, which is said on standard error.
show_quiet_machine() {
    [ -n "${QN_BENCH_REAL_LOADAVG:-}" ] && return 0
    if [ "$(id -u)" != 0 ] || ! command -v unshare >/dev/null 2>&1; then
        echo "note: not root, so the launcher sees the real load and may skip its class-data job" >&2
        return 0
    fi
    echo "0.00 0.00 0.00 1/100 1" > "$SCRATCH/quiet.loadavg"
    : > "$SCRATCH/real.loadavg"
    QN_BENCH_REAL_LOADAVG=$SCRATCH/real.loadavg
    export QN_BENCH_REAL_LOADAVG
    exec unshare -m --propagation private sh -c \
        'mount --bind /proc/loadavg "$1" && mount --bind "$2" /proc/loadavg && shift 2 && exec "$@"' \
        sh "$SCRATCH/real.loadavg" "$SCRATCH/quiet.loadavg" "$@"
}

# wait_jobs BUNDLE: waits, at most 5 minutes, until no background job of BUNDLE (a copy of
# its process) is left, so none slows the runs that follow; prints the wall ms it waited.
wait_jobs() {
    target=$(readlink -f "$1")
    start=$(date +%s%3N)
    n=0
    while [ $n -lt 3000 ]; do
        left=0
        for p in /proc/[0-9]*; do
            [ "$(readlink "$p/exe" 2>/dev/null)" = "$target" ] && { left=1; break; }
        done
        [ $left = 0 ] && break
        sleep 0.1
        n=$((n + 1))
    done
    echo $(( $(date +%s%3N) - start ))
}

# median: the median of the numbers on standard input, one a line.
median() {
    sort -g | awk '{ v[NR] = $1 } END {
        if (NR == 0) { print "nan"; exit }
        if (NR % 2) printf "%.3f\n", v[(NR + 1) / 2]
        else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# quartiles: "Q1..Q3" of the numbers on standard input (nearest rank), to show the spread.
quartiles() {
    sort -g | awk '{ v[NR] = $1 } END {
        if (NR == 0) { print "nan"; exit }
        a = int((NR + 3) / 4); b = int((3 * NR + 3) / 4)
        printf "%.3f..%.3f\n", v[a], v[b] }'
}

# column FILE K: the median of column K of FILE (one line per round).
column_median() { awk -v k="$2" '{ print $k }' "$1" | median; }

# pair_ratio FILE K J: the median, over the rounds, of column K divided by column J of the
# same round; pair_spread the quartiles of those ratios.
pair_ratio() { awk -v k="$2" -v j="$3" '{ printf "%.6f\n", $k / $j }' "$1" | median; }
pair_spread() { awk -v k="$2" -v j="$3" '{ printf "%.6f\n", $k / $j }' "$1" | quartiles; }

# rotating_rounds RUNS FILE NAME...: RUNS rounds of `run NAME` (a function of the caller
# that prints "WALL CPU") for every NAME, the order rotating each round so that no contender
# always goes first; each round appends to FILE one line: the walls, then the CPU times, in
# the order of the NAMEs.
rotating_rounds() {
    rr_runs=$1; rr_file=$2; shift 2
    rr_n=$#
    rr_i=0
    while [ $rr_i -lt "$rr_runs" ]; do
        rr_k=0
        while [ $rr_k -lt "$rr_n" ]; do
            rr_name=$(echo "$@" | cut -d' ' -f$(( (rr_i + rr_k) % rr_n + 1 )))
            eval "rr_$rr_name=\"\$(run $rr_name)\""
            rr_k=$((rr_k + 1))
        done
        rr_walls=""; rr_cpus=""
        for rr_name in "$@"; do
            eval "rr_pair=\$rr_$rr_name"
            rr_walls="$rr_walls ${rr_pair% *}"; rr_cpus="$rr_cpus ${rr_pair#* }"
        done
        echo "$rr_walls $rr_cpus" >> "$rr_file"
        rr_i=$((rr_i + 1))
    done
}

# time_ms CMD...: wall time of one run of CMD in ms (its standard output discarded);
# time_both CMD...: "WALL CPU", the CPU time (user + system) of CMD and its children, which
# other work on the machine moves less than the wall time.
time_ms() { "$QNBENCH" time 1 "$@"; }
time_both() { "$QNBENCH" times "$@"; }
