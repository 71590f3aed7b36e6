#!/bin/sh
# Builds GoogleTest and then the whole project with clang and libc++, the compiler and library of
# macOS, and runs every test. Usage: libcxx-build.sh BUILD_DIR JOBS WERROR
#   BUILD_DIR/googletest-build  GoogleTest from /usr/src/googletest, built with libc++
#   BUILD_DIR/googletest        its install tree, the only GoogleTest the project is given
#   BUILD_DIR/gatewarden        the project
set -eu
build=$1
jobs=$2
werror=$3
cd "$(dirname "$0")/.."
mkdir -p "$build"
build=$(cd "$build" && pwd)

# The packaged libgtest-dev is built for libstdc++; its classes do not link with libc++.
cmake -S /usr/src/googletest -B "$build/googletest-build" \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS=-stdlib=libc++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX="$build/googletest" -DCMAKE_INSTALL_LIBDIR=lib
cmake --build "$build/googletest-build" -j "$jobs"
cmake --install "$build/googletest-build" >/dev/null

# GTest_DIR names the config file, so that the one under /usr/lib, built for libstdc++, is not found.
cmake -S . -B "$build/gatewarden" \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS=-stdlib=libc++ \
    -DGTest_DIR="$build/googletest/lib/cmake/GTest" \
    -DGATEWARDEN_WERROR="$werror"
cmake --build "$build/gatewarden" -j "$jobs"
ctest --test-dir "$build/gatewarden" --output-on-failure -j "$jobs"
