# SPDX-License-Identifier: Apache-2.0
# The corpus check: ppdregion on a few hundred real PPDs from Debian's printer
# driver packages, in nine locales, checked line by line and with cupstestppd.
# scripts/corpus.sh gathers the PPDs into a cache folder (or reuses it); when
# it cannot install the driver packages it exits 77 and the test is skipped.
# The example PPD joins the corpus, with CR LF, CR and gzip copies of it,
# because no real PPD there has an *ISOCountryCode line or a model number
# that changes the duplex default. Every PPD and stress variant is also
# adapted with --default-paper in five countries of A4 and US Letter (the
# stress variants in three).
#
#   ctest --test-dir build-corpus -L corpus --output-on-failure
#
# Takes minutes; `ctest -LE corpus` leaves it out.

find_package(Python3 COMPONENTS Interpreter QUIET)

if(Python3_Interpreter_FOUND)
  add_test(NAME corpus
    COMMAND sh -c [=[
corpus=$("$1") || {
  status=$?
  if [ "$status" -eq 77 ]; then
    echo "corpus: SKIPPED: the PPD corpus cannot be gathered (the Debian driver packages are missing and cannot be installed)" >&2
    exit 77
  fi
  echo "corpus: scripts/corpus.sh failed with status $status" >&2
  exit 1
}
dir=$(printf '%s\n' "$corpus" | tail -n 1)
[ -d "$dir" ] || { echo "corpus: scripts/corpus.sh named no folder" >&2; exit 1; }
exec "$2" "$3" --jobs 2 --variants --stress --default-paper "$4" "$dir" "$5"
]=]
      corpus
      "${PROJECT_SOURCE_DIR}/scripts/corpus.sh"
      "${Python3_EXECUTABLE}"
      "${CMAKE_CURRENT_SOURCE_DIR}/corpus_check.py"
      "$<TARGET_FILE:ppdregion>"
      "${PROJECT_SOURCE_DIR}/examples/colorlaser.ppd")
else()
  add_test(NAME corpus
    COMMAND sh -c "echo 'corpus: SKIPPED: no Python 3 interpreter' >&2; exit 77")
endif()

# About 9 minutes on a quiet 2-core machine, half again or more on a busy
# one: 40 minutes leave room for that within CI's 90.
set_tests_properties(corpus PROPERTIES
  SKIP_RETURN_CODE 77
  TIMEOUT 2400
  LABELS corpus)
