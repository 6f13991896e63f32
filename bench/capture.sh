#!/bin/sh
# A captured child that prints one line: the launcher's executeProcess against a plain
# fork, exec and read of the same command, median over many runs.
. "$(dirname "$0")/common.sh"
set -- $("$QNBENCH" capture "${RUNS:-300}")
echo "launcher_ms=$1 direct_ms=$2 added_ms=$(awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a - b }')"
