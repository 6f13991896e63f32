#!/bin/sh
# A real application: Debian's plantuml packed into a bundle with a class-data archive,
# rendering a small diagram, warm, against `java -jar /usr/share/plantuml/plantuml.jar`
# with the same java. Installs the package when run as root; skips otherwise.
. "$(dirname "$0")/common.sh"
jar=/usr/share/plantuml/plantuml.jar
if [ ! -f "$jar" ]; then
    if [ "$(id -u)" = 0 ]; then
        echo "Installing Debian's plantuml package for the benchmark" >&2
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq plantuml >/dev/null
    else
        echo "skipped: plantuml is not installed (run as root to install it)" >&2
        echo "skipped=1"
        exit 0
    fi
fi
home=${JVM_HOME:-}
if [ -z "$home" ]; then
    for candidate in /usr/lib/jvm/temurin-25-jdk-amd64 /usr/lib/jvm/java-17-openjdk-amd64 \
                     /usr/lib/jvm/default-java; do
        [ -x "$candidate/bin/java" ] && { home=$candidate; break; }
    done
fi
[ -n "$home" ] || { echo "no JDK found" >&2; exit 1; }

work=$SCRATCH/plantuml
rm -rf "$work"; mkdir -p "$work"
# The jars of the application: plantuml's own and those its manifest names.
cp="$jar"
for j in $(unzip -p "$jar" META-INF/MANIFEST.MF | tr -d '\r' |
           sed -n '/^Class-Path:/,/^[A-Z]/p' | sed 's/^Class-Path://; s/^ //' | tr -d '\n' |
           sed 's/[A-Z][a-zA-Z-]*:.*//'); do
    [ -f "$j" ] && cp="$cp $j"
done
cat > "$work/instructions.tag" <<TAG
INSTRUCTIONS:
  FIND_JVM 0 0
  JMP0 @N1@ none
  LAUNCH @S2@ 0
  :none
/:
TAG
cat > "$work/launch.tag" <<'TAG'
DESC: PlantUML
COMMAND: """@JVM_HOME@/@JVM_EXE@"" -Djava.awt.headless=true %CP%() net.sourceforge.plantuml.Run"
DISPLAY_CONSOLE: 1
AUTO_SET_WORKING_DIR: 0
CLASS_DATA: 1
TAG
version=$(sed -n 's/^JAVA_VERSION="\([0-9]*\).*/\1/p' "$home/release")
cat > "$work/jdk.jvm" <<TAG
DESC: Java $version
JVM_EXE: bin/java
CLASSPATH: "-cp "
CLASSPATH_SEPARATOR: :
SYSTEM: -D
SYSTEM_SEPARATOR: =
JVM_PROPERTIES:
  java.version=$version...
/:
PATH_HINT:
  $home
/:
TAG
args=""
for j in $cp; do args="$args --classpath-archive $j"; done
# shellcheck disable=SC2086
"$BIN/qnpack" create -o "$work/plantuml" --instructions "$work/instructions.tag" \
    --launch-script "$work/launch.tag" --jvm "$work/jdk.jvm" \
    --verify-archive "$BUILD/java/verify.jar" $args >/dev/null
printf '@startuml\nAlice -> Bob: hello\nBob --> Alice: hi\n@enduml\n' > "$work/small.puml"

export QNLAUNCH_CACHE="$work/cache"
cd "$work"
# Two runs fill the cache: the JVM's answers, the archives and the class data.
"$work/plantuml" -qn:log "$work/first.log" -tsvg -pipe < small.puml > first.svg
"$work/plantuml" -qn:log "$work/second.log" -tsvg -pipe < small.puml > second.svg
grep -q "<svg" second.svg || { echo "the bundle rendered nothing" >&2; exit 1; }
bundle_run() { "$work/plantuml" -qn:silent -tsvg -pipe < small.puml > out.svg; }
java_run() { "$home/bin/java" -Djava.awt.headless=true -jar "$jar" -tsvg -pipe < small.puml > out.svg; }
now() { date +%s%N; }
runs=${RUNS:-11}
l=""; d=""
for i in $(seq 1 "$runs"); do
    t=$(now); bundle_run; l="$l $(( ($(now) - t) / 1000 ))"
    t=$(now); java_run; d="$d $(( ($(now) - t) / 1000 ))"
done
med() { echo "$@" | tr ' ' '\n' | sed '/^$/d' | sort -n | sed -n "$(( (runs + 1) / 2 ))p"; }
lm=$(awk -v u="$(med $l)" 'BEGIN { printf "%.1f", u / 1000 }')
dm=$(awk -v u="$(med $d)" 'BEGIN { printf "%.1f", u / 1000 }')
echo "jvm=$home jars=$(echo $cp | wc -w) launcher_ms=$lm direct_ms=$dm ratio=$(ratio "$lm" "$dm")"
