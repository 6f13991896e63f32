# Real Debian applications for the start-up benchmarks (sourced after common.sh):
#   prepare_app APP JVM_HOME
# sets APP_JAR (the jar java -jar runs), APP_ARGS (its arguments), APP_INPUT (its standard
# input), APP_EXPECT (text its output holds), APP_BUNDLE (the qnpack bundle of the jar, as
# `qnpack create --main-jar` makes it) and APP_IMAGE (the launcher of a jpackage
# app-image of the same jars on the same JVM, empty without jpackage). APP is plantuml
# (a small sequence diagram to SVG) or rhino (a small script).

# Installs a Debian package when run as root; fails with a message otherwise.
need_package() {
    [ -f "$2" ] && return 0
    if [ "$(id -u)" = 0 ]; then
        echo "Installing Debian's $1 package for the benchmark" >&2
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$1" >/dev/null
    else
        echo "$1 is not installed (run as root to install it)" >&2
        return 1
    fi
}

# manifest_value JAR NAME: a main attribute of the jar's manifest, continuation lines joined.
manifest_value() {
    unzip -p "$1" META-INF/MANIFEST.MF | tr -d '\r' | awk -v name="$2:" '
        $1 == name { on = 1; sub(/^[^:]*: ?/, ""); value = $0; next }
        on && /^ / { value = value substr($0, 2); next }
        { on = 0 }
        END { print value }'
}

prepare_app() {
    app=$1; home=$2
    case $app in
        plantuml)
            need_package plantuml /usr/share/plantuml/plantuml.jar
            APP_JAR=/usr/share/plantuml/plantuml.jar;;
        rhino)
            need_package rhino /usr/share/java/js.jar
            APP_JAR=$(readlink -f /usr/share/java/js.jar);;
        *) echo "unknown application $app (plantuml, rhino)" >&2; return 1;;
    esac
    APP_WORK=$SCRATCH/apps/$app
    mkdir -p "$APP_WORK"
    case $app in
        plantuml)
            printf '@startuml\nAlice -> Bob: hello\nBob --> Alice: hi\n@enduml\n' > "$APP_WORK/small.puml"
            APP_ARGS="-tsvg -pipe"; APP_INPUT=$APP_WORK/small.puml; APP_EXPECT="<svg";;
        rhino)
            cat > "$APP_WORK/small.js" <<'JS'
var words = "the quick brown fox jumps over the lazy dog the end".split(" ");
var counts = {};
for (var i = 0; i < words.length; i++) counts[words[i]] = (counts[words[i]] || 0) + 1;
print(JSON.stringify(counts));
JS
            APP_ARGS=$APP_WORK/small.js; APP_INPUT=/dev/null; APP_EXPECT='"the":3';;
    esac
    # The bundle, packed by this build's qnpack every time.
    APP_BUNDLE=$APP_WORK/$app
    "$BIN/qnpack" create -o "$APP_BUNDLE" --main-jar "$APP_JAR" >/dev/null
    # The jars the manifest names, for the app-image.
    jars=$APP_JAR
    for j in $(manifest_value "$APP_JAR" Class-Path); do
        [ -f "$j" ] && jars="$jars $j"
    done
    APP_JARS=$(echo $jars | wc -w)
    APP_IMAGE=""
    command -v jpackage >/dev/null 2>&1 || return 0
    # The app-image runs the same JVM (--runtime-image), so only the launchers differ. It is
    # made once per jar and JVM and kept.
    tag=$(basename "$home")
    image=$APP_WORK/image-$tag
    stamp="$jars $(ls -l --time-style=+%s $jars | md5sum) $(md5sum < "$home/release")"
    if [ "$(cat "$image/.stamp" 2>/dev/null)" != "$stamp" ]; then
        rm -rf "$image" "$APP_WORK/input"
        mkdir -p "$APP_WORK/input"
        cp $jars "$APP_WORK/input/"
        jpackage --type app-image --name "$app" --input "$APP_WORK/input" \
            --main-jar "$(basename "$APP_JAR")" \
            --main-class "$(manifest_value "$APP_JAR" Main-Class)" \
            --runtime-image "$home" --dest "$image" >/dev/null
        echo "$stamp" > "$image/.stamp"
        rm -rf "$APP_WORK/input"
    fi
    APP_IMAGE=$image/$app/bin/$app
}

# check_app_output FILE WHAT: fails unless the application's output holds APP_EXPECT.
check_app_output() {
    grep -q -- "$APP_EXPECT" "$1" || { echo "$2 did not produce the expected output" >&2; exit 1; }
}
