#!/bin/sh
# The launcher's own peak memory during the demo's default run (its children not counted).
. "$(dirname "$0")/common.sh"
peak=$("$QNBENCH" peakmem "$BIN/hello" -qn:silent a b)
echo "peak_kib=$peak"
