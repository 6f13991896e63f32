#!/bin/sh
# The launcher's own peak memory during the demo's warm default run (its children not
# counted).
. "$(dirname "$0")/common.sh"
export QNLAUNCH_CACHE="$SCRATCH/memory-cache"
rm -rf "$QNLAUNCH_CACHE"
"$BIN/hello" -qn:silent a b >/dev/null
peak=$("$QNBENCH" peakmem "$BIN/hello" -qn:silent a b)
echo "peak_kib=$peak"
