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

# The one-minute load average, for the record beside every figure.
load_now() { cut -d' ' -f1 /proc/loadavg; }

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

# time_ms CMD...: wall time of one run of CMD in ms (its standard output discarded);
# time_both CMD...: "WALL CPU", the CPU time (user + system) of CMD and its children, which
# other work on the machine moves less than the wall time.
time_ms() { "$QNBENCH" time 1 "$@"; }
time_both() { "$QNBENCH" times "$@"; }
