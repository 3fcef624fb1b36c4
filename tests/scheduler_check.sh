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
# it), equal the command's output with --default-paper; the driver's own
# output equals it byte for byte. With the scheduler's DefaultPaperSize
# the region's paper, both paths give the same bytes.
without_size_defaults() {
  grep -vE '^\*Default(PageSize|PageRegion|PaperDimension|ImageableArea):' "$1"
}
driver_cat() {  # NAME: the driver program's cat, run as the scheduler runs it
  env -i PATH="$PATH" CUPS_SERVERBIN="$dir/serverbin" CUPS_DATADIR="$dir/data" \
    CUPS_CACHEDIR="$dir/cache" "$dir/serverbin/driver/ppdregion" cat "$1"
}
check_queue() {  # QUEUE EXPECTED-FILE
  local queue=$1 expected=$2 file=$dir/ppd/$1.ppd
  lpstat -p "$queue" >/dev/null 2>&1 || { fail "no queue $queue"; return; }
  [ -s "$file" ] || { fail "queue $queue has no PPD"; return; }
  cmp -s <(without_size_defaults "$file") <(without_size_defaults "$expected") ||
    fail "$queue's PPD differs from the command's output:"$'\n'"$(diff <(without_size_defaults "$expected") <(without_size_defaults "$file") | head -20)"
  note "$queue: $(grep -E '^\*(ISOCountryCode|DefaultDuplex|DefaultPageSize):' "$file" | tr '\n' ' ')"
}
"$tool" --country FR --default-paper x "$ppd" >"$dir/expected-fr.ppd"
for name in colorlaser.ppd colorlaser-gz.ppd.gz; do
  driver_cat "ppdregion:FR/$name" >"$dir/driver-cat.ppd" 2>"$dir/driver-cat.err" ||
    fail "ppdregion cat ppdregion:FR/$name: $(cat "$dir/driver-cat.err")"
  cmp "$dir/driver-cat.ppd" "$dir/expected-fr.ppd" ||
    fail "ppdregion cat ppdregion:FR/$name differs from ppdregion --country FR --default-paper"
done
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
  [ "$(grep -cxE '\*Default(PageSize|PageRegion|PaperDimension|ImageableArea): A4' "$file")" = 4 ] ||
    fail "$queue: the four size defaults are not A4"
done
cmp "$dir/ppd/a.ppd" "$dir/ppd/b.ppd" ||
  fail "ppdregion:FR/colorlaser.ppd gives other bytes on the scheduler's path (a) than on the client's (b)"
cmp "$dir/ppd/b.ppd" "$dir/expected-fr.ppd" ||
  fail "queue b's PPD is not the command's output"
CUPS_DATADIR=$dir/data "$system_serverbin/daemon/cups-driverd" cat drv:///sample.drv/generic.ppd \
  2>/dev/null | "$tool" --country DE --default-paper x - >"$dir/expected-generic.ppd"
lpadmin -p d -m ppdregion:DE/drv:///sample.drv/generic.ppd 2>"$dir/lpadmin.err" ||
  fail "lpadmin -p d -m ppdregion:DE/drv:///sample.drv/generic.ppd: $(cat "$dir/lpadmin.err")"
check_queue d "$dir/expected-generic.ppd"
driver_cat ppdregion:DE/drv:///sample.drv/generic.ppd >"$dir/driver-cat.ppd" 2>/dev/null || true
cmp "$dir/driver-cat.ppd" "$dir/expected-generic.ppd" ||
  fail "ppdregion cat ppdregion:DE/drv:///sample.drv/generic.ppd differs from ppdregion --country DE --default-paper"

# 3a. With the scheduler's DefaultPaperSize Letter, an A4 original in the
# United States gets Letter on both paths, the same bytes.
paper_size() {  # SIZE: the scheduler's DefaultPaperSize, reloaded
  sed -i "s/^DefaultPaperSize .*/DefaultPaperSize $1/" "$dir/cupsd.conf"
  kill -HUP "$pid"
  sleep 1
  for _ in $(seq 100); do
    lpstat -r >/dev/null 2>&1 && break
    sleep 0.1
  done
}
paper_size Letter
"$tool" --country US --default-paper x "$dir/data/model/a4laser.ppd" >"$dir/expected-us.ppd"
lpadmin -p e -m ppdregion:US/a4laser.ppd 2>"$dir/lpadmin.err" ||
  fail "lpadmin -p e -m ppdregion:US/a4laser.ppd: $(cat "$dir/lpadmin.err")"
lpadmin -p f -v file:/dev/null -m ppdregion:US/a4laser.ppd 2>"$dir/lpadmin.err" ||
  fail "lpadmin -p f -v file:/dev/null -m ppdregion:US/a4laser.ppd: $(cat "$dir/lpadmin.err")"
for queue in e f; do
  [ "$(grep -cxE '\*Default(PageSize|PageRegion|PaperDimension|ImageableArea): Letter' "$dir/ppd/$queue.ppd" 2>/dev/null)" = 4 ] ||
    fail "$queue: the four size defaults of ppdregion:US/a4laser.ppd are not Letter"
  cmp -s "$dir/ppd/$queue.ppd" "$dir/expected-us.ppd" ||
    fail "$queue's PPD is not ppdregion --country US --default-paper's output"
done
note "e, f (DefaultPaperSize Letter, ppdregion:US/ of an A4 original): $(grep -h '^\*DefaultPageSize:' "$dir/ppd/e.ppd" "$dir/ppd/f.ppd" | tr '\n' ' ')"
paper_size A4

# 3b. Twenty set-ups at once, on either path, all made, with a CPU-bound
# process beside them: each within the scheduler's 30 s. The scheduler
# copies models one at a time on its own path, so there the slower .drv
# original is used; on the client's path all twenty run at once, and the
# example (a static file) keeps the check about the driver rather than about
# how fast twenty ppdc compilations share two cores.
parallel_setups() {  # PREFIX NAME EXPECTED-FILE LPADMIN-ARGS...
  local prefix=$1 name=$2 expected=$3 i start=$SECONDS times=() made=0 pids=()
  shift 3
  for i in $(seq 20); do
    (
      begun=$SECONDS
      status=0
      lpadmin -p "$prefix$i" "$@" -m "$name" 2>"$dir/$prefix$i.err" || status=$?
      echo "$status $((SECONDS - begun))" >"$dir/$prefix$i.status"
    ) &
    pids+=("$!")
  done
  wait "${pids[@]}"  # not the scheduler
  for i in $(seq 20); do
    read -r status took <"$dir/$prefix$i.status"
    times+=("$took")
    if [ "$status" -ne 0 ]; then
      fail "lpadmin -p $prefix$i $* -m $name: status $status: $(cat "$dir/$prefix$i.err")"
    elif ! lpstat -p "$prefix$i" >/dev/null 2>&1; then
      fail "lpadmin -p $prefix$i $* made no queue"
    else
      made=$((made + 1))
      cmp -s <(without_size_defaults "$dir/ppd/$prefix$i.ppd") \
        <(without_size_defaults "$expected") ||
        fail "$prefix$i's PPD differs from the command's output"
    fi
    lpadmin -x "$prefix$i" 2>/dev/null || true
  done
  note "20 at once, lpadmin -p Q $* -m $name: $made made in $((SECONDS - start)) s; each took ${times[*]} s"
}
CUPS_DATADIR=$dir/data "$system_serverbin/daemon/cups-driverd" cat drv:///sample.drv/generic.ppd \
  2>/dev/null | "$tool" --country FR --default-paper x - >"$dir/expected-generic-fr.ppd"
busy() { while :; do :; done; }
busy &
busy_pid=$!
trap 'kill "$busy_pid" 2>/dev/null; stop' EXIT
parallel_setups p ppdregion:FR/drv:///sample.drv/generic.ppd "$dir/expected-generic-fr.ppd"
parallel_setups v ppdregion:FR/colorlaser.ppd "$dir/expected-fr.ppd" -v file:/dev/null
kill "$busy_pid"
wait "$busy_pid" 2>/dev/null || true
trap stop EXIT

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

# 5. A driver whose cat never answers, and leaves a process in a session of
# its own holding its output: lpadmin fails within the scheduler's 30 s on
# either path, with the driver program's reason in the log, and the
# scheduler answers others meanwhile (on its own path once the driver
# program gives up, after 25 s); nothing the slow driver started is left.
slow_check() {  # QUEUE MOST-SECONDS-FOR-LPSTAT LPADMIN-ARGS...
  local queue=$1 most=$2
  shift 2
  local start=$SECONDS lpadmin_pid status=0
  lpadmin -p "$queue" "$@" -m ppdregion:FR/slow:x 2>"$dir/lpadmin-slow.err" &
  lpadmin_pid=$!
  sleep 1
  local asked=$SECONDS
  timeout 40 lpstat -a >/dev/null 2>&1 || fail "lpstat -a got no answer while $queue waited"
  local answered=$((SECONDS - asked))
  [ "$answered" -le "$most" ] || fail "lpstat -a answered after $answered s while $queue waited"
  wait "$lpadmin_pid" || status=$?
  local took=$((SECONDS - start))
  [ "$status" -ne 0 ] || fail "lpadmin -m ppdregion:FR/slow:x succeeded"
  [ "$took" -le 29 ] || fail "lpadmin -m ppdregion:FR/slow:x took $took s"
  ! lpstat -p "$queue" >/dev/null 2>&1 || fail "lpadmin -m ppdregion:FR/slow:x left a queue"
  note "lpadmin -p $queue $* -m ppdregion:FR/slow:x: status $status after $took s ($(tr '\n' ' ' <"$dir/lpadmin-slow.err")); lpstat -a answered after $answered s"
}
slow_check s1 26
slow_check s2 2 -v file:/dev/null
[ "$(grep -c '\[ppdregion\].*gave no answer within 25 s' "$dir/error_log")" -ge 2 ] ||
  fail "no log line for the slow driver on each path"
[ -s "$dir/tmp/slow-pids" ] || fail "the slow driver did not run"
while read -r left; do
  if kill -0 "$left" 2>/dev/null; then
    fail "the slow driver's process $left still runs"
    kill "$left" 2>/dev/null || true
  fi
done <"$dir/tmp/slow-pids"

[ "$failures" -eq 0 ] || { echo "--- error_log:"; tail -n 30 "$dir/error_log"; exit 1; }
