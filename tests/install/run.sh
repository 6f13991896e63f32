#!/bin/sh
# Installs the build into a scratch prefix (cmake --install) and from its Debian package
# (cpack -G DEB, unpacked with dpkg -x into a scratch root); with each installed qnpack,
# packs the demo jar in one command and runs the bundle.
#   tests/install/run.sh BUILD_DIR
set -eu
build=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

check_tree() {  # PREFIX
    p=$1
    for f in bin/qnlaunch bin/qnpack share/qnlaunch/verify.jar share/man/man1/qnpack.1 \
             share/man/man1/qnlaunch.1 share/qnlaunch/descriptors/java-8+.jvm \
             share/qnlaunch/descriptors/java-25+.jvm share/doc/qnlaunch/README.md share/doc/qnlaunch/docs/launch-scripts.md; do
        [ -e "$p/$f" ] || fail "$p/$f is not installed"
    done
    if readelf -S "$p/bin/qnlaunch" | grep -q '\.debug_info'; then
        fail "$p/bin/qnlaunch is not stripped"
    fi
    echo "stub $p/bin/qnlaunch: $(wc -c < "$p/bin/qnlaunch") bytes"
    # A mark in the installed descriptor shows that the bundle embeds that file.
    echo "INSTALLED_COPY: 1" >> "$p/share/qnlaunch/descriptors/java-8+.jvm"
    rm -rf "$scratch/hello" "$scratch/extract"
    "$p/bin/qnpack" create -o "$scratch/hello" --main-jar "$build/examples/hello.jar" \
        --main-class Hello || fail "the installed qnpack did not pack"
    "$p/bin/qnpack" list "$scratch/hello" | grep -q ' verify.jar$' || fail "no verifier embedded"
    mkdir "$scratch/extract"
    (cd "$scratch/extract" && "$scratch/hello" -qn:extract) || fail "-qn:extract failed"
    grep -q '^INSTALLED_COPY: 1$' "$scratch/extract/java-8+.jvm" ||
        fail "the installed descriptor was not embedded"
    out=$("$scratch/hello" one "two words") || fail "the bundle failed"
    printf '%s\n' "$out" | grep -q '^Hello from a qnlaunch bundle!$' || fail "unexpected output: $out"
    printf '%s\n' "$out" | grep -q '^  two words$' || fail "arguments lost: $out"
    # The other architecture's stub, when the build made one, packs from the installed tree.
    if [ -e "$build/bin/arm64/qnlaunch" ]; then
        [ -e "$p/lib/qnlaunch/arm64/qnlaunch" ] || fail "the arm64 stub is not installed"
        "$p/bin/qnpack" create --arch arm64 -o "$scratch/hello-arm64" \
            --main-jar "$build/examples/hello.jar" --main-class Hello >/dev/null ||
            fail "the installed qnpack did not pack for arm64"
        readelf -h "$scratch/hello-arm64" | grep -q 'Machine:.*AArch64' ||
            fail "the arm64 bundle is not an arm64 program"
        if readelf -S "$p/lib/qnlaunch/arm64/qnlaunch" | grep -q '\.debug_info'; then
            fail "the installed arm64 stub is not stripped"
        fi
    fi
}

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
check_tree "$scratch/prefix"

(cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/deb" >/dev/null) ||
    fail "cpack -G DEB failed"
deb=$(ls "$scratch"/deb/*.deb)
dpkg -x "$deb" "$scratch/root"
check_tree "$scratch/root/usr"
echo "ok: $(basename "$deb")"
