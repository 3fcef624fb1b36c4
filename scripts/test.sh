#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds ppdregion and runs every test. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

need "${BUILD_PACKAGES[@]}" clang cups cups-daemon cups-client gzip groff-base man-db dpkg-dev file \
  libbenchmark-dev python3 lintian devscripts clang-format clang-tidy

# clang with AddressSanitizer and UndefinedBehaviorSanitizer, warnings as
# errors: the unit and end-to-end tests must pass there too.
CXX=clang++ cmake -S . -B build-san -G Ninja -DPPDREGION_WERROR=ON \
  -DPPDREGION_TESTS=ON -DPPDREGION_SANITIZE=ON >/dev/null
cmake --build build-san
ctest --test-dir build-san --output-on-failure --no-label-summary -LE 'corpus|packaging'

# libFuzzer on the text edits and on whole runs, a minute each.
scripts/fuzz.sh 60

# g++, warnings as errors, benchmarks built (not run); its test run comes last.
cmake -S . -B build -G Ninja -DPPDREGION_WERROR=ON -DPPDREGION_TESTS=ON \
  -DPPDREGION_BENCH=ON >/dev/null
cmake --build build

# Style: clang-format and clang-tidy find nothing in any C++ file.
scripts/lint.sh

ctest --test-dir build --output-on-failure --no-label-summary
