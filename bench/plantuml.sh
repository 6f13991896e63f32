#!/bin/sh
# Debian's plantuml, warm, with class data: bench/startup.sh warm plantuml, in the form
# bench/run's older rows read. JVM_HOME picks the JVM (default: Temurin 25, else OpenJDK 17).
# Installs the package when run as root; skips otherwise.
. "$(dirname "$0")/common.sh"
if [ ! -f /usr/share/plantuml/plantuml.jar ] && [ "$(id -u)" != 0 ]; then
    echo "skipped: plantuml is not installed (run as root to install it)" >&2
    echo "skipped=1"
    exit 0
fi
r=$("$(dirname "$0")/startup.sh" warm plantuml ${JVM_HOME:+"$JVM_HOME"})
field() { echo "$r" | tr ' ' '\n' | sed -n "s/^$1=//p"; }
echo "jvm=$(field jvm) jars=$(field jars) launcher_ms=$(field bundle_ms)" \
    "direct_ms=$(field java_ms) ratio=$(field ratio) load=$(field load)"
