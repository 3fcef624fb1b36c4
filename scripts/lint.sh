#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Checks the style of every C++ file: clang-format with .clang-format, and
# clang-tidy with .clang-tidy, warnings as errors. Run after the builds that
# scripts/test.sh makes: clang-tidy reads the compile commands of build/ and,
# for the fuzzers, of build-fuzz/.
#
#   scripts/lint.sh          check
#   scripts/lint.sh --fix    rewrite the files clang-format would change
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files '*.cc' '*.h')
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
  exit 0
fi

status=0
clang-format --dry-run --Werror "${files[@]}" || {
  echo "lint: clang-format would change the files above (scripts/lint.sh --fix)" >&2
  status=1
}

# Each source with the build that compiles it; headers through their sources.
tidy() {  # BUILD-DIR FILE...
  local build=$1
  shift
  [ -f "$build/compile_commands.json" ] || {
    echo "lint: $build/compile_commands.json is missing; build first" >&2
    return 1
  }
  printf '%s\n' "$@" |
    xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet --warnings-as-errors='*' 2>/dev/null
}
mapfile -t sources < <(git ls-files '*.cc' | grep -v '^fuzz/')
mapfile -t fuzzers < <(git ls-files 'fuzz/*.cc')
tidy build "${sources[@]}" || status=1
tidy build-fuzz "${fuzzers[@]}" || status=1
[ "$status" -eq 0 ] && echo "lint: clang-format and clang-tidy find nothing"
exit "$status"
