#!/bin/sh
# How fast this machine copies the 200 MiB jar of big_jar.sh: copy_file_range against read
# and write through a 1 MiB buffer, and cp, into the temporary directory and into the
# home (where the cache lives), in rounds whose order rotates:
#   bench/copy_speed.sh
# The source stays in the page cache; written data is flushed before each copy, so no copy
# pays for an earlier one's writes (the copies' own writes are flushed later, outside the
# time, as in a launcher's run).
. "$(dirname "$0")/common.sh"
jar=$SCRATCH/big-jar/big.jar
[ -f "$jar" ] || RUNS=1 "$(dirname "$0")/big_jar.sh" >/dev/null
tmp=${TMPDIR:-/tmp}/qnbench-copy
homedir=$HOME/.cache/qnbench-copy
mkdir -p "$tmp" "$homedir"
cat "$jar" > /dev/null
names="kernel_tmp rw_tmp cp_tmp kernel_home rw_home cp_home"
run() {
    case $1 in
        *_tmp) dir=$tmp;;
        *_home) dir=$homedir;;
    esac
    rm -f "$dir/copy.jar"; sync
    case $1 in
        kernel_*) "$QNBENCH" copy kernel "$jar" "$dir/copy.jar";;
        rw_*) "$QNBENCH" copy rw "$jar" "$dir/copy.jar";;
        cp_*) time_ms cp "$jar" "$dir/copy.jar";;
    esac
}
load_before=$(load_now)
runs=${RUNS:-9}
rounds=$SCRATCH/copy-rounds
: > "$rounds"
n=$(echo $names | wc -w)
i=0
while [ $i -lt "$runs" ]; do
    k=0
    while [ $k -lt "$n" ]; do
        name=$(echo $names | cut -d' ' -f$(( (i + k) % n + 1 )))
        eval "r_$name=\$(run $name)"
        k=$((k + 1))
    done
    line=""
    for name in $names; do eval "line=\"\$line \$r_$name\""; done
    echo "$line" >> "$rounds"
    i=$((i + 1))
done
rm -rf "$tmp" "$homedir"
out="mib=$(( $(stat -c %s "$jar") / 1048576 )) runs=$runs"
k=1
for name in $names; do
    out="$out ${name}_ms=$(column_median "$rounds" $k)"
    k=$((k + 1))
done
echo "$out rw_over_kernel_tmp=$(pair_ratio "$rounds" 2 1) rw_over_kernel_home=$(pair_ratio "$rounds" 5 4)" \
    "load=$load_before..$(load_now)"
