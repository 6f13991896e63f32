# Shared by the benchmark scripts: paths to the built tools and a scratch directory.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build}
BIN=$BUILD/bin
QNBENCH=$BIN/qnbench
SCRATCH=${SCRATCH:-/tmp/qnbench}
mkdir -p "$SCRATCH"

[ -x "$QNBENCH" ] && [ -x "$BIN/qnlaunch" ] || {
    echo "build first: ./dev.sh build" >&2
    exit 1
}

# ratio A B: A / B with three decimals
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
