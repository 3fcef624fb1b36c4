#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the libFuzzer targets with clang and runs each of them in turn.
#
# Usage: scripts/fuzz.sh [SECONDS]
#   Runs edit_fuzzer, then run_fuzzer, each for SECONDS (default 600), and
#   prints one result line per target. Installs what is missing first.
#
# Everything lives in build-fuzz/:
#   fuzz/edit_fuzzer, fuzz/run_fuzzer   the targets
#   fuzz-seeds/TARGET/                  seeds, made afresh on every run from
#                                       examples/, fuzz/seeds/ and, when
#                                       scripts/corpus.sh can provide it, a
#                                       sample of the corpus of real PPDs
#   fuzz-corpus/TARGET/                 what the fuzzer found, kept between runs
#   fuzz-TARGET.log                     the fuzzer's output
#   artifacts/                          crash-*, leak-*, timeout-*, oom-* inputs
# Replay an artifact with: build-fuzz/fuzz/TARGET build-fuzz/artifacts/FILE
#
# Exit status: 0 when every target ran to the end without a finding, else 1.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

seconds=${1:-600}
if [[ $# -gt 1 || ! $seconds =~ ^[0-9]+$ || $((10#$seconds)) -eq 0 ]]; then
  echo "usage: scripts/fuzz.sh [SECONDS]" >&2
  exit 2
fi

need clang libclang-rt-14-dev libcups2-dev cmake ninja-build

out=build-fuzz
CXX=clang++ cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPPDREGION_FUZZ=ON -DPPDREGION_SANITIZE=ON -DPPDREGION_TESTS=OFF \
  -DPPDREGION_WERROR=ON >/dev/null
if ! cmake --build "$out" --target edit_fuzzer run_fuzzer >"$out/fuzz-build.log" 2>&1; then
  cat -- "$out/fuzz-build.log" >&2
  echo "fuzz: the build failed" >&2
  exit 1
fi

# ------------------------------------------------------------------- seeds

seeds=$out/fuzz-seeds
rm -rf -- "$seeds"
mkdir -p -- "$seeds/edit_fuzzer" "$seeds/run_fuzzer" "$out/artifacts" \
  "$out/fuzz-corpus/edit_fuzzer" "$out/fuzz-corpus/run_fuzzer"

sources=(examples/*.ppd fuzz/seeds/*)

# A sample of the real PPDs, smallish ones from every folder; none when the
# corpus cannot be had (no network, no root).
corpus=""
if corpus_out=$(scripts/corpus.sh 2>"$out/corpus.log"); then
  corpus=$(tail -n 1 <<<"$corpus_out")
fi
# sed, not head, takes the first lines: head would close the pipe early, and
# sort, killed by SIGPIPE, would fail the pipeline and end the list here.
pick() {  # pick FOLDER COUNT [MIN MAX]: the COUNT smallest of MIN..MAX bytes
  find "$corpus/$1" -maxdepth 1 -type f -name '*.ppd*' -printf '%s %p\n' \
    2>/dev/null | awk -v min="${3:-0}" -v max="${4:-65534}" \
      '$1 >= min && $1 <= max' | sort -n | sed -n "1,$2p" | cut -d' ' -f2-
}
if [[ -n $corpus && -d $corpus ]]; then
  # The last one is the smallest HP PPD over 64 KiB, which still fits in
  # run_fuzzer's longest input. The loader reads in 256 KiB chunks, so no
  # input here crosses one; the loader's own tests do.
  mapfile -t -O "${#sources[@]}" sources < <(
    pick sample 13; pick hpps 15; pick gutenprint 25; pick variants 7
    pick hpps 1 65536 69000)
else
  echo "fuzz: no corpus of real PPDs (see $out/corpus.log); seeding from examples/ and fuzz/seeds/ only" >&2
fi

# byte N: writes the byte of value N, which printf only takes as an octal
# escape in its format.
# shellcheck disable=SC2059
byte() { printf "\\$(printf '%03o' "$1")"; }

# run_fuzzer reads the country from the first byte (an index into its list
# of countries) and the file from the rest.
n=0
for f in "${sources[@]}"; do
  for country in $((n % 12)) 1; do  # and always Japan, which differs most
    { byte "$country"; cat -- "$f"; } >"$seeds/run_fuzzer/$n-$country"
  done
  n=$((n + 1))
done

# edit_fuzzer reads its choices from the last bytes, the keyword last; each
# is an index into its tables, read here from fuzz/edit_fuzzer.cc.
table() {  # table NAME: the strings of the table kNAME, one a line
  sed -n "/ k$1\[\] = {/{:a;/};/!{N;ba;};p;}" fuzz/edit_fuzzer.cc |
    grep -o -E '"([^"\\]|\\.)*"' | sed 's/^"//; s/"$//'
}
mapfile -t keywords < <(table Keywords)
mapfile -t options < <(table Options)
((${#keywords[@]} > 5 && ${#options[@]} > 0)) ||
  { echo "fuzz: cannot read the tables in fuzz/edit_fuzzer.cc" >&2; exit 1; }
# The text is an excerpt of the lines the edits look at, cut to 4000 bytes,
# followed by: up to four size names (the last first), their count, the value
# (0 DuplexNoTumble, 2 FR), the option and the keyword. Each excerpt gets a
# page keyword with a size it holds, a rewrite keyword, and a page keyword
# with its default size, which must stay.
seed_edit() {  # seed_edit NAME KEYWORD OPTION VALUE NAMES...
  local name=$1 keyword=$2 option=$3 value=$4 i
  shift 4
  {
    cat -- "$text"
    for ((i = $#; i >= 1; i--)); do byte "${!i}"; done
    byte "$#"; byte "$value"; byte "$option"; byte "$keyword"
  } >"$seeds/edit_fuzzer/$name-${keywords[keyword]}-${options[option]}"
}
text=$seeds/text
n=0
for f in "${sources[@]}"; do
  if [[ $f == *.gz ]]; then zcat -- "$f"; else cat -- "$f"; fi |
    grep -a -E --no-group-separator -A2 \
      'PageSize|PageRegion|PaperDimension|ImageableArea|UIConstraints|Duplex|ISOCountryCode' |
    head -c 4000 >"$text" || true
  [[ -s $text ]] || continue
  found=()
  default=""
  for i in "${!options[@]}"; do
    [[ -n ${options[i]} ]] || continue
    grep -a -q -F -- "PageSize ${options[i]}/" "$text" && found+=("$i")
    grep -a -q -E -- "^\*DefaultPageSize:[[:blank:]]*${options[i]//./\\.}[[:space:]]*\$" \
      "$text" && default=$i
  done
  ((${#found[@]} > 0)) || found=(0 1 2)
  seed_edit "$n" $((n % 4)) "${found[n % ${#found[@]}]}" 0 "${found[@]:0:4}"
  seed_edit "$n" $((4 + n % 2)) "${found[(n + 1) % ${#found[@]}]}" $((2 * (n % 2)))
  [[ -z $default ]] || seed_edit "$n" 1 "$default" 0 "$default" "${found[0]}"
  n=$((n + 1))
done
rm -f -- "$seeds/text"

# -------------------------------------------------------------------- runs

status=0
fuzz() {  # fuzz TARGET MAX_LEN
  local target=$1 max_len=$2 log=$out/fuzz-$1.log rc=0
  "$out/fuzz/$target" "$out/fuzz-corpus/$target" "$seeds/$target" \
    -max_total_time="$seconds" -rss_limit_mb=2048 -max_len="$max_len" \
    -timeout=30 -print_final_stats=1 -artifact_prefix="$out/artifacts/" \
    >"$log" 2>&1 || rc=$?

  local runs speed cov
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]* ft: [0-9]* corp: [0-9]*' "$log" | tail -n 1 || true)
  if ((rc == 0)); then
    echo "fuzz: $target: ok, ${seconds}s, ${runs:-?} runs (${speed:-?}/s), ${cov:-no coverage line}"
  else
    status=1
    local artifact
    artifact=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n 1)
    tail -n 40 -- "$log" >&2
    echo "fuzz: $target: FAILED (exit $rc), input ${artifact:-not written}, log $log"
  fi
}

fuzz edit_fuzzer 4096
fuzz run_fuzzer 70000
exit "$status"
