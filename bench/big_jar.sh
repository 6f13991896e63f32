#!/bin/sh
# The first run of a bundle made from a 200 MB application jar (a tiny main class and
# 200 MB of stored, incompressible data), with a fresh HOME each run, against `cp` of that
# jar followed by `java -jar` of the copy, and against `java -jar` of the jar in place.
#   bench/big_jar.sh [JVM_HOME]
# Written data is flushed before each run, so no run pays for an earlier one's writes, and
# the background job a bundle run leaves is waited for (untimed) first.
. "$(dirname "$0")/common.sh"
show_quiet_machine "$0" "$@"
home=${1:-$(jvm_homes | head -1)}
[ -x "$home/bin/java" ] || { echo "no java in $home" >&2; exit 1; }
work=$SCRATCH/big-jar
jar=$work/big.jar
mkdir -p "$work"
if [ ! -f "$jar" ]; then
    rm -rf "$work/src" && mkdir -p "$work/src/classes"
    cat > "$work/src/Big.java" <<'JAVA'
public class Big {
    public static void main(String[] args) {
        System.out.println("big " + Big.class.getResource("/payload.bin"));
    }
}
JAVA
    "$home/bin/javac" --release 8 -Xlint:-options -d "$work/src/classes" "$work/src/Big.java"
    head -c 209715200 /dev/urandom > "$work/src/classes/payload.bin"
    "$home/bin/jar" --create --no-compress --file "$jar.part" --main-class Big \
        -C "$work/src/classes" .
    mv "$jar.part" "$jar"
    rm -rf "$work/src"
fi
bundle=$work/big
"$BIN/qnpack" create -o "$bundle" --main-jar "$jar" >/dev/null
load_before=$(load_now)
unset QNLAUNCH_CACHE XDG_CACHE_HOME
export JAVA_HOME="$home"
fresh_home() { rm -rf "$work/home"; mkdir -p "$work/home"; sync; }
copy=$work/copy-and-run.sh
cat > "$copy" <<SCRIPT
#!/bin/sh
cp "$jar" "$work/home/big.jar" && exec "$home/bin/java" -jar "$work/home/big.jar"
SCRIPT
chmod +x "$copy"

fresh_home
HOME=$work/home "$bundle" -qn:log "$work/first.log" > "$work/out"
wait_jobs "$bundle" > /dev/null
grep -q "^big " "$work/out" || { echo "the bundle did not run" >&2; exit 1; }
grep -q "Matching JVM home is $home\$" "$work/first.log" ||
    { echo "the bundle did not choose $home" >&2; exit 1; }

runs=${RUNS:-7}
rounds=$work/rounds
: > "$rounds"
i=0
while [ $i -lt "$runs" ]; do
    b=""; c=""; j=""
    for k in 0 1 2; do
        fresh_home
        case $(( (i + k) % 3 )) in
            0) b=$(HOME=$work/home time_both "$bundle" -qn:silent); wait_jobs "$bundle" > /dev/null;;
            1) c=$(HOME=$work/home time_both "$copy");;
            2) j=$(HOME=$work/home time_both "$home/bin/java" -jar "$jar");;
        esac
    done
    # The three wall times, then the three CPU times.
    set -- $b $c $j
    echo "$1 $3 $5 $2 $4 $6" >> "$rounds"
    i=$((i + 1))
done
fresh_home
peak=$(HOME=$work/home "$QNBENCH" peakmem "$bundle" -qn:silent)
wait_jobs "$bundle" > /dev/null
rm -rf "$work/home"
echo "jvm=$home runs=$runs jar_mib=$(( $(stat -c %s "$jar") / 1048576 ))" \
    "bundle_ms=$(column_median "$rounds" 1) copy_java_ms=$(column_median "$rounds" 2)" \
    "java_ms=$(column_median "$rounds" 3) ratio=$(pair_ratio "$rounds" 1 2)" \
    "spread=$(pair_spread "$rounds" 1 2) java_ratio=$(pair_ratio "$rounds" 1 3)" \
    "bundle_cpu_ms=$(column_median "$rounds" 4) copy_java_cpu_ms=$(column_median "$rounds" 5)" \
    "ratio_cpu=$(pair_ratio "$rounds" 4 5)" \
    "peak_kib=$peak load=$load_before..$(load_now)"
