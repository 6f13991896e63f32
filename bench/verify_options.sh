#!/bin/sh
# The cost of one verification (`java -cp verify.jar Verify java.version`, as the launcher
# runs it) with JVM options that may cut it, side by side in rounds whose order rotates:
#   bench/verify_options.sh [JVM_HOME...]
# Prints a markdown table per JVM: median wall and CPU time of each variant, the median of
# its round-by-round ratio to the plain command, and the properties whose value differs
# from the plain command's for the properties the launcher's cache answers.
. "$(dirname "$0")/common.sh"
verify_jar=$BUILD/java/verify.jar
work=$SCRATCH/verify-options
rm -rf "$work"; mkdir -p "$work"
props="java.version java.version.date java.vendor java.vendor.url java.vendor.url.bug
java.vendor.version java.specification.version java.specification.vendor
java.specification.name java.vm.name java.vm.vendor java.vm.version java.vm.info
java.vm.specification.version java.vm.specification.vendor java.vm.specification.name
java.vm.compressedOopsMode java.runtime.name java.runtime.version java.class.version
java.home os.arch os.name sun.arch.data.model sun.cpu.endian"
combo="-XX:TieredStopAtLevel=1 -XX:+UseSerialGC -XX:-UsePerfData"
# name|options ("env:" puts them into JDK_JAVA_OPTIONS instead of the command)
variants="plain|
xshare-auto|-Xshare:auto
c1-only|-XX:TieredStopAtLevel=1
serial-gc|-XX:+UseSerialGC
no-perf-data|-XX:-UsePerfData
interpreter|-Xint
heap-32m|-Xmx32m
combined|$combo
combined-heap|$combo -Xmx32m
combined-ignore|-XX:+IgnoreUnrecognizedVMOptions $combo -Xmx32m
combined-env|env:$combo -Xmx32m
xint-combined|-Xint -XX:+UseSerialGC -XX:-UsePerfData -Xmx32m"
names=$(echo "$variants" | cut -d'|' -f1)
n=$(echo "$names" | wc -l)
option_of() { echo "$variants" | grep "^$1|" | cut -d'|' -f2-; }

# run NAME JAVA [ARGS...]: the verifier with the variant's options.
run_variant() {
    name=$1; java=$2; shift 2
    opts=$(option_of "$name")
    case $opts in
        env:*) JDK_JAVA_OPTIONS=${opts#env:} "$@" "$java" -cp "$verify_jar" Verify java.version;;
        *) # shellcheck disable=SC2086
           "$@" "$java" $opts -cp "$verify_jar" Verify java.version;;
    esac
}

for home in ${*:-$(jvm_homes)}; do
    java=$home/bin/java
    load_before=$(load_now)
    # What each variant reports, and what it prints on standard error.
    for name in $names; do
        opts=$(option_of "$name")
        case $opts in
            env:*) # shellcheck disable=SC2086
                   JDK_JAVA_OPTIONS=${opts#env:} "$java" -cp "$verify_jar" Verify $props \
                       > "$work/$name.out" 2> "$work/$name.err";;
            *) # shellcheck disable=SC2086
               "$java" $opts -cp "$verify_jar" Verify $props > "$work/$name.out" 2> "$work/$name.err";;
        esac
    done
    runs=${RUNS:-15}
    rounds=$work/rounds
    : > "$rounds"
    i=0
    while [ $i -lt "$runs" ]; do
        k=0
        while [ $k -lt "$n" ]; do
            name=$(echo "$names" | sed -n "$(( (i + k) % n + 1 ))p")
            eval "r_$(echo "$name" | tr '-' '_')=\"\$(run_variant $name $java time_both)\""
            k=$((k + 1))
        done
        walls=""; cpus=""
        for name in $names; do
            eval "set -- \$r_$(echo "$name" | tr '-' '_')"
            walls="$walls $1"; cpus="$cpus $2"
        done
        echo "$walls $cpus" >> "$rounds"
        i=$((i + 1))
    done
    echo "### $(jvm_name "$home") ($runs rounds, load $load_before..$(load_now))"
    echo
    echo "| Variant | Options | Wall ms | CPU ms | Wall / plain | CPU / plain | Properties that differ | Standard error |"
    echo "|---|---|---|---|---|---|---|---|"
    k=1
    for name in $names; do
        differ=$(paste -d'|' "$work/plain.out" "$work/$name.out" | tail -n +2 | awk -F'|' -v props="$props" '
            BEGIN { split(props, p, /[ \n]+/) }
            { if ($1 != $2) printf "%s%s (%s)", (n++ ? ", " : ""), p[NR], $2 }')
        err=$(head -1 "$work/$name.err" | cut -c1-60)
        printf '| %s | `%s` | %s | %s | %s | %s | %s | %s |\n' "$name" "$(option_of "$name")" \
            "$(column_median "$rounds" $k)" "$(column_median "$rounds" $((k + n)))" \
            "$(pair_ratio "$rounds" $k 1)" "$(pair_ratio "$rounds" $((k + n)) $((1 + n)))" \
            "${differ:-none}" "$err"
        k=$((k + 1))
    done
    echo
done
