#!/bin/sh
# A real application's start-up: the qnpack bundle of its jar against `java -jar` of the
# same jar and against a jpackage app-image of it, all three on the same JVM, in rounds
# whose order rotates.
#   bench/startup.sh MODE APP [JVM_HOME]
# MODE: first   every run starts with a fresh, empty HOME (so an empty cache), as every
#               run in a container or a CI job does; the background job a bundle run
#               leaves is waited for, untimed, before the next run (job_ms: how long it
#               took); also the launcher's peak memory in one more such run
#       warm    the bundle's cache filled beforehand (JVM answers, jars, the class-data
#               archive its first run's job made, proven by a second run)
#       nocache QNLAUNCH_CACHE=off: the bundle verifies and extracts every time
# APP: plantuml or rhino (bench/apps.sh). JVM_HOME: the first of jvm_homes by default.
# Prints key=value pairs; ratio is the median of the round-by-round ratios bundle / java
# -jar (spread: their quartiles), image_ratio that of bundle / app-image; the *_cpu keys
# are the same for CPU time (user + system of all processes of a run).
. "$(dirname "$0")/common.sh"
show_quiet_machine "$0" "$@"
. "$(dirname "$0")/apps.sh"
mode=${1:?usage: startup.sh first|warm|nocache plantuml|rhino [JVM_HOME]}
app=${2:?usage: startup.sh first|warm|nocache plantuml|rhino [JVM_HOME]}
home=${3:-$(jvm_homes | head -1)}
[ -x "$home/bin/java" ] || { echo "no java in $home" >&2; exit 1; }
prepare_app "$app" "$home"
work=$APP_WORK/run
rm -rf "$work"; mkdir -p "$work"
load_before=$(load_now)

# Every contender runs with HOME set to a directory of the round (fresh in first runs).
# JAVA_HOME makes the bundle's first path hint this JVM; java -jar and the image ignore it.
unset QNLAUNCH_CACHE XDG_CACHE_HOME
export JAVA_HOME="$home"
# 21 rounds: the JVMs' own run-to-run spread (a quarter of a run's time between the
# quartiles on a quiet machine) hides a 5 % difference in fewer.
case $mode in
    first) runs=${RUNS:-21};;
    warm) runs=${RUNS:-21};;
    nocache) runs=${RUNS:-21}; export QNLAUNCH_CACHE=off;;
    *) echo "unknown mode $mode (first, warm, nocache)" >&2; exit 1;;
esac
fresh_home() { rm -rf "$work/home"; mkdir -p "$work/home"; }
fresh_home
# shellcheck disable=SC2086
run_bundle() { HOME=$work/home time_both "$APP_BUNDLE" -qn:silent $APP_ARGS < "$APP_INPUT"; }
# shellcheck disable=SC2086
run_java() { HOME=$work/home time_both "$home/bin/java" -jar "$APP_JAR" $APP_ARGS < "$APP_INPUT"; }
# shellcheck disable=SC2086
run_image() { HOME=$work/home time_both "$APP_IMAGE" $APP_ARGS < "$APP_INPUT"; }

# One checked run of each; in warm mode a second bundle run, after which the cache holds
# everything a warm run uses.
# shellcheck disable=SC2086
HOME=$work/home "$APP_BUNDLE" -qn:log "$work/first.log" $APP_ARGS < "$APP_INPUT" > "$work/out" 2>&1
check_app_output "$work/out" "the bundle"
grep -q "Matching JVM home is $home\$" "$work/first.log" ||
    { echo "the bundle did not choose $home" >&2; exit 1; }
# shellcheck disable=SC2086
HOME=$work/home "$home/bin/java" -jar "$APP_JAR" $APP_ARGS < "$APP_INPUT" > "$work/out" 2>&1
check_app_output "$work/out" "java -jar"
if [ -n "$APP_IMAGE" ]; then
    # shellcheck disable=SC2086
    HOME=$work/home "$APP_IMAGE" $APP_ARGS < "$APP_INPUT" > "$work/out" 2>&1
    check_app_output "$work/out" "the app-image"
fi
wait_jobs "$APP_BUNDLE" > /dev/null
if [ "$mode" = warm ]; then
    ls "$work"/home/.cache/qnlaunch/classdata/*/app.jsa > /dev/null 2>&1 ||
        echo "warning: the first run's job made no class-data archive" >&2
    # shellcheck disable=SC2086
    HOME=$work/home "$APP_BUNDLE" -qn:log "$work/second.log" $APP_ARGS < "$APP_INPUT" > "$work/out" 2>&1
    check_app_output "$work/out" "the warm bundle"
    grep -q "taken from the cache" "$work/second.log" ||
        { echo "the warm run did not use the cache" >&2; exit 1; }
fi

# Rounds: bundle, java -jar, image, the first of them rotating from round to round. Each
# line of the rounds file: the three wall times, then the three CPU times.
rounds=$work/rounds
: > "$rounds"
: > "$work/jobs"
i=0
while [ $i -lt "$runs" ]; do
    b=""; j=""; m="0 0"
    for k in 0 1 2; do
        case $(( (i + k) % 3 )) in
            0) [ "$mode" = first ] && fresh_home; b=$(run_bundle)
               [ "$mode" = first ] && echo "$(wait_jobs "$APP_BUNDLE")" >> "$work/jobs";;
            1) [ "$mode" = first ] && fresh_home; j=$(run_java);;
            2) if [ -n "$APP_IMAGE" ]; then [ "$mode" = first ] && fresh_home; m=$(run_image); fi;;
        esac
    done
    set -- $b $j $m
    echo "$1 $3 $5 $2 $4 $6" >> "$rounds"
    i=$((i + 1))
done

out="app=$app mode=$mode jvm=$home runs=$runs jars=$APP_JARS"
out="$out bundle_ms=$(column_median "$rounds" 1) java_ms=$(column_median "$rounds" 2)"
out="$out ratio=$(pair_ratio "$rounds" 1 2) spread=$(pair_spread "$rounds" 1 2)"
if [ -n "$APP_IMAGE" ]; then
    out="$out image_ms=$(column_median "$rounds" 3) image_ratio=$(pair_ratio "$rounds" 1 3)"
fi
out="$out bundle_cpu_ms=$(column_median "$rounds" 4) java_cpu_ms=$(column_median "$rounds" 5)"
out="$out ratio_cpu=$(pair_ratio "$rounds" 4 5)"
if [ -n "$APP_IMAGE" ]; then
    out="$out image_cpu_ms=$(column_median "$rounds" 6) image_ratio_cpu=$(pair_ratio "$rounds" 4 6)"
fi
if [ "$mode" = first ]; then
    out="$out job_ms=$(median < "$work/jobs")"
    fresh_home
    # shellcheck disable=SC2086
    out="$out peak_kib=$(HOME=$work/home "$QNBENCH" peakmem "$APP_BUNDLE" -qn:silent $APP_ARGS < "$APP_INPUT")"
    wait_jobs "$APP_BUNDLE" > /dev/null
fi
echo "$out load=$load_before..$(load_now)"
