#!/bin/sh
# What each JVM does with an archive it cannot use, and which options keep its messages off
# the terminal while a file still tells the refusal apart:
#   bench/archive_refusals.sh [JVM_HOME...]
# A two-jar application (A.jar: Main, B.jar: Lib) is archived three ways per JVM (a dynamic
# archive at exit, a static one from a class list, and on 24 and later an AOT cache), then
# run against each archive in each case below, with each set of options. Prints a markdown
# table: the exit status, the application's line ("hello lib 2"; "hello LIB 2" is right
# for the case whose B.jar has other bytes), what else reached the terminal,
# whether Main came from the archive (a second run with -Xlog:class+load), and what the
# detection file holds. No option holds a '*'.
. "$(dirname "$0")/common.sh"
work=$SCRATCH/refusals
rm -rf "$work"; mkdir -p "$work/src" "$work/ca" "$work/cb"
cd "$work"
javac_home=$(jvm_homes | tail -1)
cat > src/Main.java <<'JAVA'
public class Main {
    public static void main(String[] args) {
        System.out.println("hello " + Lib.name() + " " + java.util.List.of(1, 2).size());
    }
}
JAVA
cat > src/Lib.java <<'JAVA'
public class Lib {
    public static String name() { return "lib"; }
}
JAVA
"$javac_home/bin/javac" --release 11 -d cb src/Lib.java
"$javac_home/bin/javac" --release 11 -cp cb -d ca src/Main.java
# B.jar is stored, not compressed, so that a changed string of the same length keeps its size.
"$javac_home/bin/jar" cf A.jar -C ca . && "$javac_home/bin/jar" cf0 B.jar -C cb .
# The same jars elsewhere, with and without their times, and a B of the same size and time
# but other bytes (a changed string of equal length).
mkdir -p copy copyp
cp A.jar B.jar copy/ && cp -p A.jar B.jar copyp/
sed 's/"lib"/"LIB"/' src/Lib.java > src/Lib2.java
mkdir -p alt/cb && mv src/Lib2.java alt/Lib.java
"$javac_home/bin/javac" --release 11 -d alt/cb alt/Lib.java
(cd alt && "$javac_home/bin/jar" cf0 B.jar -C cb .)
mkdir -p same && cp -p A.jar same/ && cp alt/B.jar same/B.jar && touch -r B.jar same/B.jar
same_size=yes
[ "$(stat -c %s same/B.jar)" = "$(stat -c %s B.jar)" ] || same_size=no
mkdir -p copyt && cp -p A.jar B.jar copyt/ && touch -d '1 minute ago' copyt/B.jar
mkdir -p empty

tags_for() {  # the tag sets that carry archive messages on this release
    if [ "$1" -ge 24 ]; then echo "cds cds+dynamic aot class+path"; else echo "cds cds+dynamic class+path"; fi
}
selection() {  # selection LEVEL TAGS...: "tag=LEVEL,tag=LEVEL"
    level=$1; shift
    s=""
    for t in "$@"; do s="$s${s:+,}$t=$level"; done
    echo "$s"
}

homes=${*:-$(jvm_homes)}
for home in $homes; do
    java=$home/bin/java
    release=$(sed -n 's/^JAVA_VERSION="\([0-9]*\).*/\1/p' "$home/release")
    d=$work/r$release
    mkdir -p "$d"
    # The archives, made without anything on the terminal.
    "$java" -Xlog:disable -XX:ArchiveClassesAtExit="$d/dynamic.jsa" -cp A.jar:B.jar Main >/dev/null
    "$java" -Xlog:disable -XX:DumpLoadedClassList="$d/classes.lst" -cp A.jar:B.jar Main >/dev/null
    "$java" -Xlog:disable -Xshare:dump -XX:SharedClassListFile="$d/classes.lst" \
        -XX:SharedArchiveFile="$d/static.jsa" -cp A.jar:B.jar >/dev/null
    kinds="dynamic static"
    if [ "$release" -ge 24 ]; then
        "$java" -Xlog:disable -XX:AOTCacheOutput="$d/cache.aot" -cp A.jar:B.jar Main >/dev/null
    fi
done

echo "same-size-other-bytes: B.jar of the same size: $same_size"
echo
printf '| JVM | Archive | Case | Options | Exit | Output | Terminal | Main from archive | Detection file |\n'
printf '|---|---|---|---|---|---|---|---|---|\n'
for home in $homes; do
    java=$home/bin/java
    release=$(sed -n 's/^JAVA_VERSION="\([0-9]*\).*/\1/p' "$home/release")
    name=$(jvm_name "$home")
    d=$work/r$release
    kinds="dynamic static"
    [ "$release" -ge 24 ] && kinds="$kinds aot"
    other=""
    for o in $homes; do [ "$o" != "$home" ] && other=$o; done
    orelease=$(sed -n 's/^JAVA_VERSION="\([0-9]*\).*/\1/p' "$other/release" 2>/dev/null || echo 0)
    # shellcheck disable=SC2046
    set -- $(tags_for "$release")
    quiet="-Xlog:$(selection off "$@")"
    detect="-Xlog:disable -Xlog:$(selection info "$@"):file=$work/detect.log"
    detectw="-Xlog:disable -Xlog:$(selection warning "$@"):file=$work/detect.log"
    for kind in $kinds; do
        archive=$d/$kind.jsa
        [ "$kind" = aot ] && archive=$d/cache.aot
        use="-XX:SharedArchiveFile=$archive"
        [ "$kind" = aot ] && use="-XX:AOTCache=$archive"
        for case in same missing truncated damaged-middle other-jvm reordered appended \
                    shorter touched same-size-other-bytes copied copied-with-times \
                    without-application; do
            cp="A.jar:B.jar"; file=$archive
            rm -f "$work/case.jsa"
            case $case in
                missing) file=$work/none.jsa;;
                truncated) head -c 60000 "$archive" > "$work/case.jsa"; file=$work/case.jsa;;
                damaged-middle)
                    cp "$archive" "$work/case.jsa"
                    size=$(stat -c %s "$archive")
                    dd if=/dev/urandom of="$work/case.jsa" bs=4096 count=4 \
                        seek=$((size / 8192)) conv=notrunc 2>/dev/null
                    file=$work/case.jsa;;
                other-jvm)
                    [ -n "$other" ] || continue
                    file=$work/r$orelease/$kind.jsa
                    [ -f "$file" ] || file=$work/r$orelease/static.jsa;;
                reordered) cp="B.jar:A.jar";;
                appended) cp="A.jar:B.jar:copy/A.jar";;
                shorter) cp="A.jar";;
                touched) cp="copyt/A.jar:copyt/B.jar";;
                same-size-other-bytes) cp="same/A.jar:same/B.jar";;
                copied) cp="copy/A.jar:copy/B.jar";;
                copied-with-times) cp="copyp/A.jar:copyp/B.jar";;
                without-application) cp="empty";;
            esac
            # The archive options the case tests; a missing file keeps the option's name.
            opt=$(echo "$use" | sed "s|=.*|=$file|")
            from=$("$java" $opt -Xlog:disable -Xlog:class+load=info -cp "$cp" Main 2>&1 |
                   grep -c ' Main source: shared objects file' || true)
            [ "$from" -gt 0 ] && from=yes || from=no
            for set in none quiet auto detect detect-warning; do
                rm -f "$work/detect.log"
                case $set in
                    none) extra="";;
                    quiet) extra=$quiet;;
                    auto) extra="-Xshare:auto";;
                    detect) extra=$detect;;
                    detect-warning) extra=$detectw;;
                esac
                # shellcheck disable=SC2086
                "$java" $extra $opt -cp "$cp" Main > out.txt 2> err.txt && rc=0 || rc=$?
                terminal=$(grep -v -x -e 'hello lib 2' -e 'hello LIB 2' out.txt err.txt | sed 's/^[a-z.]*://' |
                    head -2 | cut -c1-90 | tr '|' '/' | tr '\n' ' ')
                output=$(grep -x -e 'hello lib 2' -e 'hello LIB 2' out.txt || true)
                lines=$(cat out.txt err.txt | grep -v -x -c -e 'hello lib 2' -e 'hello LIB 2' || true)
                [ "$lines" -gt 2 ] && terminal="$terminal (+$((lines - 2)) lines)"
                det=""
                if [ -f "$work/detect.log" ]; then
                    det=$(grep -E 'warning|error|Unable|expected:|mismatch|failed|not match|invalid' \
                        "$work/detect.log" | sed 's/^\[[^]]*\]//' | head -2 | cut -c1-90 | tr '|' '/' | tr '\n' ' ')
                    [ -n "$det" ] || det="(no refusal line)"
                fi
                shown=$(echo "$extra" | sed "s|$work/||g")
                printf '| %s | %s | %s | %s | %s | %s | %s | %s | %s |\n' "$name" "$kind" "$case" \
                    "${shown:-(none)}" "$rc" "$output" "${terminal:-}" "$from" "$det"
            done
        done
    done
done

# Two more questions: does -XX:+VerifySharedSpaces turn a damaged archive into a refusal,
# and what does -XX:+AutoCreateSharedArchive (19 and later) do with an archive it cannot
# use: is it remade, and what reaches the terminal with the quiet options?
echo
printf '| JVM | Archive | Case | Options | Exit | Terminal | Archive remade |\n|---|---|---|---|---|---|---|\n'
for home in $homes; do
    java=$home/bin/java
    release=$(sed -n 's/^JAVA_VERSION="\([0-9]*\).*/\1/p' "$home/release")
    name=$(jvm_name "$home")
    d=$work/r$release
    # shellcheck disable=SC2046
    set -- $(tags_for "$release")
    quiet="-Xlog:$(selection off "$@")"
    for kind in dynamic static; do
        cp "$d/$kind.jsa" "$work/case.jsa" && chmod u+w "$work/case.jsa"
        size=$(stat -c %s "$work/case.jsa")
        dd if=/dev/urandom of="$work/case.jsa" bs=4096 count=4 seek=$((size / 8192)) conv=notrunc 2>/dev/null
        "$java" $quiet -XX:+VerifySharedSpaces -XX:SharedArchiveFile="$work/case.jsa" -cp A.jar:B.jar Main \
            > out.txt 2>&1 && rc=0 || rc=$?
        terminal=$(grep -v -x 'hello lib 2' out.txt | head -2 | cut -c1-90 | tr '|' '/' | tr '\n' ' ')
        printf '| %s | %s | damaged-middle | %s | %s | %s | |\n' "$name" "$kind" \
            "$quiet -XX:+VerifySharedSpaces" "$rc" "$terminal"
    done
    [ "$release" -ge 19 ] || continue
    for case in other-jvm truncated reordered damaged-middle; do
        for set in quiet quiet-no-warnings; do
            rm -f "$work/case.jsa"
            cp_="A.jar:B.jar"
            case $case in
                other-jvm)
                    for o in $homes; do
                        r=$(sed -n 's/^JAVA_VERSION="\([0-9]*\).*/\1/p' "$o/release")
                        [ "$r" != "$release" ] && cp "$work/r$r/dynamic.jsa" "$work/case.jsa"
                    done
                    [ -f "$work/case.jsa" ] || continue;;
                truncated) head -c 60000 "$d/dynamic.jsa" > "$work/case.jsa";;
                reordered) cp "$d/dynamic.jsa" "$work/case.jsa"; cp_="B.jar:A.jar";;
                damaged-middle)
                    cp "$d/dynamic.jsa" "$work/case.jsa"
                    dd if=/dev/urandom of="$work/case.jsa" bs=4096 count=4 seek=8 conv=notrunc 2>/dev/null;;
            esac
            chmod u+w "$work/case.jsa"
            before=$(md5sum < "$work/case.jsa")
            extra=$quiet
            [ "$set" = quiet-no-warnings ] && extra="$quiet -XX:-PrintWarnings"
            # shellcheck disable=SC2086
            "$java" $extra -XX:+AutoCreateSharedArchive -XX:SharedArchiveFile="$work/case.jsa" \
                -cp "$cp_" Main > out.txt 2>&1 && rc=0 || rc=$?
            terminal=$(grep -v -x 'hello lib 2' out.txt | head -2 | cut -c1-100 | tr '|' '/' | tr '\n' ' ')
            remade=no
            [ "$(md5sum < "$work/case.jsa")" != "$before" ] && remade=yes
            printf '| %s | dynamic, AutoCreateSharedArchive | %s | %s | %s | %s | %s |\n' "$name" "$case" \
                "$extra" "$rc" "$terminal" "$remade"
        done
    done
done
rm -f hs_err_pid*.log
