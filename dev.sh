#!/bin/sh
# Sets up, builds and runs qnlaunch on a Debian machine.
#   ./dev.sh demo      build and run the demo bundle (build/bin/hello)
#   ./dev.sh test      build and run every test (on x86-64 with the arm64 stub, its tests
#                      under qemu-user, and the checks of both stubs)
#   ./dev.sh sanitize  build and run every test under AddressSanitizer and UBSan
#   ./dev.sh fuzz [S]  build the fuzz targets with clang and run each for S seconds
#   ./dev.sh check     the source guards: formatting, no system call outside src/platform/os,
#                      no process-wide state that is not a RunState, and the links between
#                      the Markdown files
#   ./dev.sh build     build only
set -eu
cd "$(dirname "$0")"

# What building the launcher, the packer and the demo needs.
PACKAGES="cmake g++ make zlib1g-dev openjdk-17-jdk-headless"
# What the tests use besides: GoogleTest; strace counts the launcher's opens; ctags reads
# the sources for the state guard; file and dpkg-deb make and read Debian packages.
TEST_PACKAGES="libgtest-dev strace universal-ctags file dpkg-dev"
# The arm64 stub, built with the cross compiler and tested under emulation on x86-64.
ARM64_PACKAGES="g++-aarch64-linux-gnu libc6-dev-arm64-cross qemu-user"
if [ "$(uname -m)" = x86_64 ]; then ARM64=ON; else ARM64=OFF; ARM64_PACKAGES=""; fi

# Installs the Debian packages that are missing (as root), or says which to install.
ensure_packages() {
    missing=""
    for p in $PACKAGES "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
    done
    # A JDK from elsewhere (javac on the PATH) will do as well.
    case "$missing" in *openjdk-17-jdk-headless*)
        if command -v javac >/dev/null 2>&1 && command -v jar >/dev/null 2>&1; then
            missing=$(echo "$missing" | sed 's/ openjdk-17-jdk-headless//')
        fi;;
    esac
    # So will the static build of qemu-user.
    case "$missing" in *qemu-user*)
        if command -v qemu-aarch64 >/dev/null 2>&1 || command -v qemu-aarch64-static >/dev/null 2>&1; then
            missing=$(echo "$missing" | sed 's/ qemu-user//')
        fi;;
    esac
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" = 0 ]; then
        echo "Installing:$missing"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
    else
        echo "Please install these Debian packages first (as root):$missing" >&2
        exit 1
    fi
}

jobs=$(nproc 2>/dev/null || echo 2)

build() {  # build DIR [cmake options...]
    dir=$1; shift
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
}

case "${1:-}" in
    demo)
        # Only what the demo needs: the launcher, the packer, the verifier and the bundle.
        ensure_packages
        cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQN_TESTS=OFF -DQN_ARM64=OFF >/dev/null
        cmake --build build -j "$jobs" --target demo_bundle
        shift
        printf '+ build/bin/hello'
        for arg in "$@"; do printf " '%s'" "$arg"; done
        echo
        exec build/bin/hello "$@"
        ;;
    test)
        ensure_packages $ARM64_PACKAGES $TEST_PACKAGES
        build build -DQN_WERROR=ON -DQN_ARM64=$ARM64 -DQN_TESTS=ON
        cd build && ctest --output-on-failure -j "$jobs"
        ;;
    sanitize)
        ensure_packages $TEST_PACKAGES
        build build-sanitize -DQN_SANITIZE=ON -DQN_WERROR=ON -DQN_TESTS=ON
        cd build-sanitize && ctest --output-on-failure -j "$jobs"
        ;;
    fuzz)
        ensure_packages clang libclang-rt-14-dev
        exec fuzz/run "${2:-60}"
        ;;
    check)
        ensure_packages clang-format git universal-ctags python3
        tools/check-format
        tools/check-syscalls
        tools/check-state
        tools/check-doc-links
        ;;
    build)
        ensure_packages $TEST_PACKAGES
        build build -DQN_TESTS=ON
        ;;
    *)
        echo "usage: $0 demo [ARGS...] | test | sanitize | fuzz [SECONDS] | check | build" >&2
        exit 2
        ;;
esac
