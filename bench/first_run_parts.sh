#!/bin/sh
# The parts of a bundle's first run, measured side by side in rounds (each run with a
# fresh, empty HOME; the order rotates from round to round):
#   bench/first_run_parts.sh APP [JVM_HOME]          (APP: plantuml or rhino)
# Contenders:
#   bundle      the qnpack bundle as made (CLASS_DATA: 1): verify, extract, run, dump
#   bundle_nocd the same bundle with CLASS_DATA: 0: no class-data archive
#   java        java -jar
#   java_dump   java -jar with the options the launcher adds in a first run (release 19
#               and later: -XX:+AutoCreateSharedArchive -XX:SharedArchiveFile=NEW;
#               13 to 18: -XX:ArchiveClassesAtExit=NEW)
#   java_list   java -jar with -XX:DumpLoadedClassList=FILE
#   verify      one verification: java -cp verify.jar Verify java.version
#   copy        cp of the application's jars into the fresh HOME
# Prints each one's median wall and CPU time and the derived parts: the dump (bundle -
# bundle_nocd, java_dump - java, round by round), the rest of the launcher's cost
# (bundle_nocd - java) and the class list's cost (java_list / java).
. "$(dirname "$0")/common.sh"
. "$(dirname "$0")/apps.sh"
app=${1:?usage: first_run_parts.sh plantuml|rhino [JVM_HOME]}
home=${2:-$(jvm_homes | head -1)}
prepare_app "$app" "$home"
work=$APP_WORK/parts
rm -rf "$work"; mkdir -p "$work"
# The bundle without class data: the generated files with the one tag changed.
"$BIN/qnpack" init "$work/pack" --main-jar "$APP_JAR" > "$work/create.sh"
sed -i 's/^CLASS_DATA: 1/CLASS_DATA: 0/' "$work/pack/launch.tag"
grep -q '^CLASS_DATA: 0' "$work/pack/launch.tag" || { echo "no CLASS_DATA tag to change" >&2; exit 1; }
nocd=$work/$app-nocd
sed "s|^qnpack create -o [^ ]*|\"$BIN/qnpack\" create -o \"$nocd\"|" "$work/create.sh" > "$work/create2.sh"
sh "$work/create2.sh" >/dev/null

release=$(sed -n 's/^JAVA_VERSION="\([0-9]*\).*/\1/p' "$home/release")
h=$work/home
if [ "$release" -ge 19 ]; then
    dump="-XX:+AutoCreateSharedArchive -XX:SharedArchiveFile=$h/new.jsa"
else
    dump="-XX:ArchiveClassesAtExit=$h/new.jsa"
fi
unset QNLAUNCH_CACHE XDG_CACHE_HOME
export JAVA_HOME="$home"
fresh_home() { rm -rf "$h"; mkdir -p "$h"; }
jars=$APP_JAR
for j in $(manifest_value "$APP_JAR" Class-Path); do [ -f "$j" ] && jars="$jars $j"; done

# shellcheck disable=SC2086
run() {
    fresh_home
    case $1 in
        bundle) HOME=$h time_both "$APP_BUNDLE" -qn:silent $APP_ARGS < "$APP_INPUT";;
        bundle_nocd) HOME=$h time_both "$nocd" -qn:silent $APP_ARGS < "$APP_INPUT";;
        java) HOME=$h time_both "$home/bin/java" -jar "$APP_JAR" $APP_ARGS < "$APP_INPUT";;
        java_dump) HOME=$h time_both "$home/bin/java" $dump -jar "$APP_JAR" $APP_ARGS < "$APP_INPUT";;
        java_list) HOME=$h time_both "$home/bin/java" -XX:DumpLoadedClassList="$h/classes.lst" \
            -jar "$APP_JAR" $APP_ARGS < "$APP_INPUT";;
        verify) time_both "$home/bin/java" -cp "$BUILD/java/verify.jar" Verify java.version;;
        copy) time_both cp $jars "$h/";;
    esac
}
names="bundle bundle_nocd java java_dump java_list verify copy"
n=7
# One checked run of the dumping java, so a refused option fails here.
fresh_home
# shellcheck disable=SC2086
HOME=$h "$home/bin/java" $dump -jar "$APP_JAR" $APP_ARGS < "$APP_INPUT" > "$work/out" 2>&1
check_app_output "$work/out" "java with the dump options"
[ -s "$h/new.jsa" ] || { echo "java wrote no archive" >&2; exit 1; }
load_before=$(load_now)
runs=${RUNS:-7}
rounds=$work/rounds
: > "$rounds"
# shellcheck disable=SC2086
rotating_rounds "$runs" "$rounds" $names
out="app=$app jvm=$home runs=$runs"
k=1
for name in $names; do
    out="$out ${name}_ms=$(column_median "$rounds" $k) ${name}_cpu_ms=$(column_median "$rounds" $((k + n)))"
    k=$((k + 1))
done
diff_median() { awk -v a="$2" -v b="$3" '{ printf "%.3f\n", $a - $b }' "$1" | median; }
out="$out dump_in_bundle_ms=$(diff_median "$rounds" 1 2) dump_in_java_ms=$(diff_median "$rounds" 4 3)"
out="$out dump_in_bundle_cpu_ms=$(diff_median "$rounds" 8 9) dump_in_java_cpu_ms=$(diff_median "$rounds" 11 10)"
out="$out launcher_without_dump_ms=$(diff_median "$rounds" 2 3) launcher_without_dump_cpu_ms=$(diff_median "$rounds" 9 10)"
out="$out bundle_ratio=$(pair_ratio "$rounds" 1 3) bundle_nocd_ratio=$(pair_ratio "$rounds" 2 3)"
out="$out java_dump_ratio=$(pair_ratio "$rounds" 4 3) java_list_ratio=$(pair_ratio "$rounds" 5 3)"
out="$out java_list_ratio_cpu=$(pair_ratio "$rounds" 12 10)"
echo "$out load=$load_before..$(load_now)"
