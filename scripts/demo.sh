#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds ppdregion and shows what it does to the bundled example PPD for the
# user's own locale and a few others.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

need "${BUILD_PACKAGES[@]}" cups-client
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target ppdregion

example=examples/colorlaser.ppd
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

show() {  # show LABEL [VAR=VALUE...]
  local label=$1
  shift
  echo
  echo "=== $label"
  env -u LC_ALL -u LC_PAPER -u LANG "$@" build/ppdregion printer "$example" >"$out/ppd"
  diff -u --label "$example" --label "ppdregion output" "$example" "$out/ppd" || true
  cupstestppd -q "$out/ppd" >/dev/null && echo "cupstestppd: PASS" ||
    echo "cupstestppd: FAIL"
}

own=${LC_ALL:-${LC_PAPER:-${LANG:-}}}
show "your locale (${own:-none})" ${LC_ALL:+LC_ALL="$LC_ALL"} \
  ${LC_PAPER:+LC_PAPER="$LC_PAPER"} ${LANG:+LANG="$LANG"}
show "France: fr_FR.UTF-8" LANG=fr_FR.UTF-8
show "Japan: ja_JP.UTF-8" LANG=ja_JP.UTF-8
show "China: zh_CN.UTF-8" LANG=zh_CN.UTF-8
