#!/bin/sh
# What each kind of class data costs to make and gives in a warm run, for a real
# application on one JVM, with `java -cp JARS MAIN` as the base (the class path of the
# jar's manifest, in its order):
#   bench/class_data.sh APP [JVM_HOME]                (APP: plantuml or rhino)
# Made once each (median of three makings, none of which runs the application unless said):
#   a class list     -XX:DumpLoadedClassList (a normal run)
#   static           -Xshare:dump -XX:SharedClassListFile -XX:SharedArchiveFile -cp
#   static-linked    the same with -XX:+AOTClassLinking (24 and later)
#   dynamic          what the launcher makes today (a run with -XX:ArchiveClassesAtExit)
#   aot              -XX:AOTMode=record (a run), then -XX:AOTMode=create (24 and later)
# Then rounds (order rotating) of: the base; the base with each archive; the static archive
# with -XX:+VerifySharedSpaces; and the runs that make something: a class list, the
# dynamic dump, an AOT recording, the one-step -XX:AOTCacheOutput.
. "$(dirname "$0")/common.sh"
. "$(dirname "$0")/apps.sh"
app=${1:?usage: class_data.sh plantuml|rhino [JVM_HOME]}
home=${2:-$(jvm_homes | head -1)}
prepare_app "$app" "$home"
java=$home/bin/java
release=$(sed -n 's/^JAVA_VERSION="\([0-9]*\).*/\1/p' "$home/release")
work=$SCRATCH/class-data/$app-$(basename "$home")
rm -rf "$work"; mkdir -p "$work/new"
cp=$APP_JAR
for j in $(manifest_value "$APP_JAR" Class-Path); do [ -f "$j" ] && cp="$cp:$j"; done
main=$(manifest_value "$APP_JAR" Main-Class)
q="-Xlog:disable"   # keeps every JVM log line, dump reports included, off the terminal

# make NAME CMD...: runs CMD three times, prints its median wall and CPU time
make_three() {
    name=$1; shift
    : > "$work/make-$name"
    for i in 1 2 3; do time_both "$@" < "$APP_INPUT" >> "$work/make-$name"; done
    echo "make_${name}_ms=$(column_median "$work/make-$name" 1)" \
        "make_${name}_cpu_ms=$(column_median "$work/make-$name" 2)"
}
size_mib() { awk -v s="$(stat -c %s "$1")" 'BEGIN { printf "%.1f", s / 1048576 }'; }

# shellcheck disable=SC2086
"$java" $q -XX:DumpLoadedClassList="$work/classes.lst" -cp "$cp" "$main" $APP_ARGS < "$APP_INPUT" > /dev/null
made="classes=$(grep -c -v '^[#@]' "$work/classes.lst")"
made="$made $(make_three static "$java" $q -Xshare:dump -XX:SharedClassListFile="$work/classes.lst" \
    -XX:SharedArchiveFile="$work/static.jsa" -cp "$cp") static_mib=$(size_mib "$work/static.jsa")"
if [ "$release" -ge 19 ]; then
    dynamic_opts="-XX:+AutoCreateSharedArchive -XX:SharedArchiveFile=$work/dynamic.jsa"
    dump_opts="-XX:+AutoCreateSharedArchive -XX:SharedArchiveFile=$work/new/dynamic.jsa"
else
    dynamic_opts="-XX:ArchiveClassesAtExit=$work/dynamic.jsa"
    dump_opts="-XX:ArchiveClassesAtExit=$work/new/dynamic.jsa"
fi
# shellcheck disable=SC2086
"$java" $q $dynamic_opts -cp "$cp" "$main" $APP_ARGS < "$APP_INPUT" > /dev/null
made="$made dynamic_mib=$(size_mib "$work/dynamic.jsa")"
names="base dynamic static static_verified class_list dynamic_dump"
if [ "$release" -ge 24 ]; then
    made="$made $(make_three static_linked "$java" $q -Xshare:dump -XX:+AOTClassLinking \
        -XX:SharedClassListFile="$work/classes.lst" -XX:SharedArchiveFile="$work/linked.jsa" \
        -cp "$cp") static_linked_mib=$(size_mib "$work/linked.jsa")"
    # shellcheck disable=SC2086
    "$java" $q -XX:AOTMode=record -XX:AOTConfiguration="$work/app.aotconf" -cp "$cp" "$main" \
        $APP_ARGS < "$APP_INPUT" > /dev/null
    made="$made aotconf_mib=$(size_mib "$work/app.aotconf")"
    made="$made $(make_three aot_create "$java" $q -XX:AOTMode=create \
        -XX:AOTConfiguration="$work/app.aotconf" -XX:AOTCache="$work/app.aot" -cp "$cp")"
    made="$made aot_mib=$(size_mib "$work/app.aot")"
    names="$names static_linked aot aot_record aot_one_step"
fi

# How many of the loaded classes came from an archive, for each archive.
from_archive() {
    # shellcheck disable=SC2086
    "$java" $q "$@" -Xlog:class+load=info -cp "$cp" "$main" $APP_ARGS < "$APP_INPUT" |
        awk '/ source: / { n++ } / source: shared objects file/ { s++ } END { printf "%d/%d", s, n }'
}
made="$made loaded_base=$(from_archive) loaded_dynamic=$(from_archive -XX:SharedArchiveFile="$work/dynamic.jsa")"
made="$made loaded_static=$(from_archive -XX:SharedArchiveFile="$work/static.jsa")"
if [ "$release" -ge 24 ]; then
    made="$made loaded_static_linked=$(from_archive -XX:SharedArchiveFile="$work/linked.jsa")"
    made="$made loaded_aot=$(from_archive -XX:AOTCache="$work/app.aot")"
fi

# shellcheck disable=SC2086
run() {
    rm -rf "$work/new"; mkdir -p "$work/new"
    case $1 in
        base) time_both "$java" -cp "$cp" "$main" $APP_ARGS;;
        dynamic) time_both "$java" $q -XX:SharedArchiveFile="$work/dynamic.jsa" -cp "$cp" "$main" $APP_ARGS;;
        static) time_both "$java" $q -XX:SharedArchiveFile="$work/static.jsa" -cp "$cp" "$main" $APP_ARGS;;
        static_verified) time_both "$java" $q -XX:+VerifySharedSpaces \
            -XX:SharedArchiveFile="$work/static.jsa" -cp "$cp" "$main" $APP_ARGS;;
        static_linked) time_both "$java" $q -XX:SharedArchiveFile="$work/linked.jsa" -cp "$cp" "$main" $APP_ARGS;;
        aot) time_both "$java" $q -XX:AOTCache="$work/app.aot" -cp "$cp" "$main" $APP_ARGS;;
        class_list) time_both "$java" $q -XX:DumpLoadedClassList="$work/new/classes.lst" -cp "$cp" "$main" $APP_ARGS;;
        dynamic_dump) time_both "$java" $q $dump_opts -cp "$cp" "$main" $APP_ARGS;;
        aot_record) time_both "$java" $q -XX:AOTMode=record -XX:AOTConfiguration="$work/new/app.aotconf" \
            -cp "$cp" "$main" $APP_ARGS;;
        aot_one_step) time_both "$java" $q -XX:AOTCacheOutput="$work/new/app.aot" -cp "$cp" "$main" $APP_ARGS;;
    esac < "$APP_INPUT"
}
n=$(echo $names | wc -w)
load_before=$(load_now)
runs=${RUNS:-7}
rounds=$work/rounds
: > "$rounds"
# shellcheck disable=SC2086
rotating_rounds "$runs" "$rounds" $names
out="app=$app jvm=$home runs=$runs $made"
k=1
for name in $names; do
    out="$out ${name}_ms=$(column_median "$rounds" $k) ${name}_ratio=$(pair_ratio "$rounds" $k 1)"
    out="$out ${name}_cpu_ratio=$(pair_ratio "$rounds" $((k + n)) $((1 + n)))"
    k=$((k + 1))
done
echo "$out load=$load_before..$(load_now)"
