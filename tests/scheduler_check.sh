#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Runs the tool and its CUPS driver program in a real, private CUPS scheduler,
# as an administrator sets up queues, and checks what the queues then offer.
#
#   scheduler_check.sh PPDREGION DRIVER PPD
#
# PPDREGION is the command, DRIVER the driver program, PPD the example, whose
# printer gets DuplexNoTumble and loses B5 and B6 in France. The scheduler's
# configuration, programs, data, spool, cache, state and logs all live in a
# scratch folder, it listens only on 127.0.0.1 at a free port, and it is
# stopped by its process id at the end. Where it can, it runs in a private
# mount namespace in which the system's locale files name no country, so
# that the machine's own do not count; no file or service of the machine is
# touched. Exit status 0 when the checks pass, 1 when one fails, 77 (a skip)
# when the scheduler cannot start here.
set -euo pipefail

tool=$1
driver=$2
ppd=$3
for program in cupsd lpadmin lpinfo lpoptions lpstat cups-config gzip python3; do
  command -v "$program" >/dev/null ||
    { echo "SKIP: $program is missing (Debian packages cups, cups-client, libcups2-dev)"; exit 77; }
done
# shellcheck source=tests/private_cupsd.sh
. "$(dirname "$0")/private_cupsd.sh" || {
  echo "SKIP: the private scheduler did not start:"
  cat "$dir/cupsd.out" "$dir/error_log" 2>/dev/null || true
  exit 77
}

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
note() {
  echo "scheduler: $*"
}

# --- The command's output installed with lpadmin -P.
# lpadmin sizes its upload by stat(), so it sends nothing from a pipe: the
# queue gets the adapted PPD as a file.
adapted=$dir/office-fr.ppd
cat -- "$ppd" | env -u LC_ALL -u LC_PAPER LANG=fr_FR.UTF-8 "$tool" printer - >"$adapted"
lpadmin -p office -E -v file:/dev/null -P "$adapted" 2>"$dir/lpadmin.err" ||
  { cat "$dir/lpadmin.err"; fail "lpadmin refused the adapted PPD"; }
options=$(LANG=C lpoptions -p office -l) || fail "lpoptions cannot read the queue's PPD"

page_sizes=$(sed -n 's|^PageSize/[^:]*: ||p' <<<"$options")
duplex=$(sed -n 's|^Duplex/[^:]*: ||p' <<<"$options")
for size in A4 Letter; do
  [[ " $page_sizes " == *" $size "* || " $page_sizes " == *" *$size "* ]] ||
    fail "PageSize lost $size: $page_sizes"
done
for size in B5 B6 EnvChou3 EnvYou4 Postcard 210x270mm; do
  [[ " $page_sizes " != *" $size "* && " $page_sizes " != *" *$size "* ]] ||
    fail "PageSize still offers $size: $page_sizes"
done
[[ " $duplex " == *" *DuplexNoTumble "* ]] ||
  fail "Duplex does not default to DuplexNoTumble: $duplex"
[ "$failures" -eq 0 ] && note "lpadmin -P: PageSize $page_sizes; Duplex $duplex"

# --- The driver program.
conf=$dir/ppdregion.conf
regional() {  # lpinfo -m's ppdregion: lines, sorted, with LANG=$1
  env -u LC_ALL -u LC_PAPER LANG="$1" lpinfo -m 2>&1 | grep '^ppdregion:' | LC_ALL=C sort || true
}

# 1. lpinfo -m offers what the configuration names, for its country.
printf '# test\nOffer colorlaser*\n' >"$conf"
chmod 0644 "$conf"
if [ "$private_locale" = yes ]; then
  listed=$(regional fr_FR.UTF-8)
  expected="ppdregion:FR/colorlaser-gz.ppd.gz Quillvale CL-2100 PS, FR region
ppdregion:FR/colorlaser.ppd Quillvale CL-2100 PS, FR region"
  [ "$listed" = "$expected" ] || fail "lpinfo -m with LANG=fr_FR.UTF-8 lists:"$'\n'"$listed"
  note "lpinfo -m, LANG=fr_FR.UTF-8:"$'\n'"$listed"
  listed=$(regional C)
  [ -z "$listed" ] || fail "lpinfo -m with LANG=C and no country lists:"$'\n'"$listed"
  note "lpinfo -m, LANG=C: ${listed:-no ppdregion: line}"
else
  note "SKIP the lists by the client's language: the machine's locale files count here"
fi
printf 'Country de\nOffer colorlaser*\n' >"$conf"
listed=$(regional fr_FR.UTF-8)
[ "$(grep -c '^ppdregion:DE/colorlaser' <<<"$listed")" = 2 ] && [ "$(wc -l <<<"$listed")" = 2 ] ||
  fail "lpinfo -m with Country de lists:"$'\n'"$listed"
note "lpinfo -m, Country de:"$'\n'"$listed"

# 2 and 3. Queues made through the driver, by the scheduler's own path (no
# locale at all) and by the client's (lpadmin fetches the PPD and uploads
# it), equal the command's output but for the size defaults the scheduler
# sets.
without_size_defaults() {
  grep -vE '^\*Default(PageSize|PageRegion|PaperDimension|ImageableArea):' "$1" |
    sed -e :a -e '/^\n*$/{$d;N;ba' -e '}'
}
check_queue() {  # QUEUE EXPECTED-FILE
  local queue=$1 expected=$2 file=$dir/ppd/$1.ppd
  lpstat -p "$queue" >/dev/null 2>&1 || { fail "no queue $queue"; return; }
  [ -s "$file" ] || { fail "queue $queue has no PPD"; return; }
  cmp -s <(without_size_defaults "$file") <(without_size_defaults "$expected") ||
    fail "$queue's PPD differs from the command's output:"$'\n'"$(diff <(without_size_defaults "$expected") <(without_size_defaults "$file") | head -20)"
  note "$queue: $(grep -E '^\*(ISOCountryCode|DefaultDuplex|DefaultPageSize):' "$file" | tr '\n' ' ')"
}
"$tool" --country FR x "$ppd" >"$dir/expected-fr.ppd"
SECONDS=0
env -i PATH="$PATH" CUPS_SERVER="$CUPS_SERVER" \
  lpadmin -p a -m ppdregion:FR/colorlaser.ppd 2>"$dir/lpadmin.err" ||
  fail "lpadmin -p a -m ppdregion:FR/colorlaser.ppd: $(cat "$dir/lpadmin.err")"
note "lpadmin -p a -m ppdregion:FR/colorlaser.ppd took about $SECONDS s"
LANG=en_US.UTF-8 lpadmin -p b -v file:/dev/null -m ppdregion:FR/colorlaser.ppd \
  2>"$dir/lpadmin.err" ||
  fail "lpadmin -p b -v file:/dev/null -m ppdregion:FR/colorlaser.ppd: $(cat "$dir/lpadmin.err")"
lpadmin -p c -m ppdregion:FR/colorlaser-gz.ppd.gz 2>"$dir/lpadmin.err" ||
  fail "lpadmin -p c -m ppdregion:FR/colorlaser-gz.ppd.gz: $(cat "$dir/lpadmin.err")"
for queue in a b c; do
  check_queue "$queue" "$dir/expected-fr.ppd"
  file=$dir/ppd/$queue.ppd
  grep -qxF '*ISOCountryCode: "FR"' "$file" || fail "$queue: the country code is not FR"
  ! grep -qE '^\*(PageSize|PageRegion|PaperDimension|ImageableArea) B[56][/:]' "$file" ||
    fail "$queue still offers B5 or B6"
  grep -qx '\*DefaultDuplex: DuplexNoTumble' "$file" ||
    fail "$queue: the duplex default is not DuplexNoTumble"
done
CUPS_DATADIR=$dir/data "$system_serverbin/daemon/cups-driverd" cat drv:///sample.drv/generic.ppd \
  2>/dev/null | "$tool" --country DE x - >"$dir/expected-generic.ppd"
lpadmin -p d -m ppdregion:DE/drv:///sample.drv/generic.ppd 2>"$dir/lpadmin.err" ||
  fail "lpadmin -p d -m ppdregion:DE/drv:///sample.drv/generic.ppd: $(cat "$dir/lpadmin.err")"
check_queue d "$dir/expected-generic.ppd"

# 4. Names the driver refuses, and a missing original: no queue, and a
# [ppdregion] line in the scheduler's log.
for name in ppdregion:fr/colorlaser.ppd ppdregion:FR/ppdregion:FR/colorlaser.ppd \
            ppdregion:FR/missing.ppd; do
  before=$(grep -c '\[ppdregion\]' "$dir/error_log" || true)
  if lpadmin -p bad -m "$name" 2>"$dir/lpadmin.err"; then
    fail "lpadmin -p bad -m $name succeeded"
  fi
  ! lpstat -p bad >/dev/null 2>&1 || fail "lpadmin -m $name left a queue"
  lpadmin -x bad 2>/dev/null || true
  after=$(grep -c '\[ppdregion\]' "$dir/error_log" || true)
  [ "$after" -gt "$before" ] || fail "no [ppdregion] line in the log for $name"
  note "lpadmin -m $name: $(tr '\n' ' ' <"$dir/lpadmin.err")| log: $(grep '\[ppdregion\]' "$dir/error_log" | tail -n1 | sed 's/^.*\] \[ppdregion\]/[ppdregion]/')"
done

# 5. A driver whose cat never answers: lpadmin fails within 12 s on either
# path, and the scheduler answers others meanwhile; on its own path it
# answers once the driver program gives up, after 10 s, where it would
# otherwise wait 30 s.
slow_check() {  # QUEUE MOST-SECONDS-FOR-LPSTAT LPADMIN-ARGS...
  local queue=$1 most=$2
  shift 2
  local start=$SECONDS lpadmin_pid status=0
  lpadmin -p "$queue" "$@" -m ppdregion:FR/slow:x 2>"$dir/lpadmin-slow.err" &
  lpadmin_pid=$!
  sleep 1
  local asked=$SECONDS
  timeout 15 lpstat -a >/dev/null 2>&1 || fail "lpstat -a got no answer while $queue waited"
  local answered=$((SECONDS - asked))
  [ "$answered" -le "$most" ] || fail "lpstat -a answered after $answered s while $queue waited"
  wait "$lpadmin_pid" || status=$?
  local took=$((SECONDS - start))
  [ "$status" -ne 0 ] || fail "lpadmin -m ppdregion:FR/slow:x succeeded"
  [ "$took" -le 12 ] || fail "lpadmin -m ppdregion:FR/slow:x took $took s"
  ! lpstat -p "$queue" >/dev/null 2>&1 || fail "lpadmin -m ppdregion:FR/slow:x left a queue"
  note "lpadmin -p $queue $* -m ppdregion:FR/slow:x: status $status after $took s ($(tr '\n' ' ' <"$dir/lpadmin-slow.err")); lpstat -a answered after $answered s"
}
slow_check s1 11
slow_check s2 2 -v file:/dev/null
grep -q '\[ppdregion\].*gave no answer within 10 s' "$dir/error_log" ||
  fail "no log line for the slow driver"

[ "$failures" -eq 0 ] || { echo "--- error_log:"; tail -n 30 "$dir/error_log"; exit 1; }
