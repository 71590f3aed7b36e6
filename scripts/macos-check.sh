#!/bin/sh
# The macOS cross-compile check, run by `make macos-check` and CI on Linux: the project's own
# CMake build, its Apple branches included, compiled and linked for both Macs by Zig against the
# declarations in macos-cross/sdk, every warning an error as in CI.
#
#   1. the tool for arm64 and for x86_64, each in its own folder, joined by llvm-lipo into one
#      universal executable whose architectures must be arm64 and x86_64;
#   2. the tests that the Apple build compiles, for arm64, against GoogleTest's headers alone:
#      they are compiled, not linked or run (that needs a Mac).
#
# Usage: scripts/macos-check.sh [build folder, default build-macos] [parallel jobs]
# GATEWARDEN_GTEST_HEADERS names the folder that holds gtest/ and gmock/ (default /usr/include).
set -eu
cd "$(dirname "$0")/.."
build=${1:-build-macos}
jobs=${2:-$(nproc 2>/dev/null || echo 2)}
googletest=${GATEWARDEN_GTEST_HEADERS:-/usr/include}

say() { echo "macos-check: $*" >&2; }
started=$(date +%s)
elapsed() { echo "$(($(date +%s) - started)) s"; }

GATEWARDEN_ZIG=$(scripts/fetch-zig.sh)
export GATEWARDEN_ZIG

lipo=$(command -v llvm-lipo || ls /usr/bin/llvm-lipo-* /usr/lib/llvm-*/bin/llvm-lipo 2>/dev/null | sort -V | tail -n 1 || true)
if [ -z "$lipo" ]; then
    say "llvm-lipo is missing (scripts/install-deps.sh llvm installs it)"
    exit 1
fi

# Only GoogleTest's own folders: the rest of /usr/include is this Linux machine's C library,
# which must not stand in for the Mac's.
for part in gtest gmock; do
    if [ ! -d "$googletest/$part" ]; then
        say "$googletest/$part is missing (scripts/install-deps.sh installs GoogleTest)"
        exit 1
    fi
done
mkdir -p "$build/googletest"
headers=$(cd "$build/googletest" && pwd)
ln -sfn "$googletest/gtest" "$build/googletest/gtest"
ln -sfn "$googletest/gmock" "$build/googletest/gmock"

configure() {
    arch=$1
    shift
    say "configuring for $arch"
    cmake -S . -B "$build/$arch" -G "Unix Makefiles" --toolchain macos-cross/toolchain.cmake \
        -DGATEWARDEN_MACOS_ARCH="$arch" -DGATEWARDEN_WERROR=ON "$@"
}
# arm64 also builds the tests, later; x86_64 only the tool.
configure arm64 -DGATEWARDEN_TESTS=ON -DGATEWARDEN_TESTS_COMPILE_ONLY=ON -DGATEWARDEN_GTEST_INCLUDE_DIR="$headers"
configure x86_64 -DGATEWARDEN_TESTS=OFF
for arch in arm64 x86_64; do
    say "building the tool for $arch"
    cmake --build "$build/$arch" -j "$jobs" --target Gatewarden
    say "built the tool for $arch after $(elapsed)"
done

"$lipo" -create "$build/arm64/Gatewarden" "$build/x86_64/Gatewarden" -output "$build/Gatewarden"
archs=$("$lipo" -archs "$build/Gatewarden")
say "$build/Gatewarden is universal: $archs"
for arch in arm64 x86_64; do
    case " $archs " in
        *" $arch "*) ;;
        *)
            say "$build/Gatewarden has no $arch slice"
            exit 1
            ;;
    esac
done

say "compiling the tests for arm64"
# -k: every test source is compiled, so one run reports every one that fails.
if ! cmake --build "$build/arm64" -j "$jobs" -- -k; then
    say "FAILED: tests do not compile for macOS (the errors are above), after $(elapsed)"
    exit 1
fi
say "passed after $(elapsed): the tool for arm64 and x86_64, and the tests for arm64"
