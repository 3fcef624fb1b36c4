#!/usr/bin/env bash
# Builds ppdregion and runs every test. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

need "${BUILD_PACKAGES[@]}" clang cups-client gzip

# clang, warnings as errors: the build must stay clean with both compilers.
CXX=clang++ cmake -S . -B build-clang -G Ninja -DPPDREGION_WERROR=ON -DPPDREGION_TESTS=ON >/dev/null
cmake --build build-clang

# g++, warnings as errors; its test run comes last.
cmake -S . -B build -G Ninja -DPPDREGION_WERROR=ON -DPPDREGION_TESTS=ON >/dev/null
cmake --build build
ctest --test-dir build --output-on-failure
