#!/bin/sh
# -qn:extract of a bundle holding a 256 MiB file, against cp of the same file; and the
# launcher's peak memory while it extracts.
. "$(dirname "$0")/common.sh"
big=$SCRATCH/big.bin
[ -f "$big" ] || head -c 268435456 /dev/urandom > "$big"
bundle=$SCRATCH/big-bundle
# qnpack packs no bundle without instructions; these are never run by -qn:extract.
printf 'INSTRUCTIONS:\n  EXIT 0\n/:\n' > "$SCRATCH/instructions.tag"
"$BIN/qnpack" create -o "$bundle" --instructions "$SCRATCH/instructions.tag" --classpath-archive "$big"
out=$SCRATCH/extract-out
rm -rf "$out" && mkdir -p "$out"

extract_ms() { (cd "$out" && rm -f big.bin input.tag instructions.tag && "$QNBENCH" time 1 "$bundle" -qn:silent -qn:extract); }
cp_ms() { rm -f "$out/copy.bin"; "$QNBENCH" time 1 cp "$big" "$out/copy.bin"; }
# Written data settles first and both get one warm-up run; then side by side,
# alternating, median of five each.
sync
extract_ms >/dev/null; cp_ms >/dev/null; sync
e=""; c=""
for i in 1 2 3 4 5; do e="$e $(extract_ms)"; c="$c $(cp_ms)"; done
med() { echo "$@" | tr ' ' '\n' | sed '/^$/d' | sort -n | sed -n 3p; }
em=$(med $e); cm=$(med $c)
cmp -s "$big" "$out/big.bin" || { echo "extracted file differs" >&2; exit 1; }
peak=$(cd "$out" && rm -f big.bin input.tag instructions.tag && "$QNBENCH" peakmem "$bundle" -qn:silent -qn:extract)
rm -rf "$out" "$bundle"
echo "extract_ms=$em cp_ms=$cm ratio=$(ratio "$em" "$cm") peak_kib=$peak"
