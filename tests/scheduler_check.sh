#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs the tool's output in a real, private CUPS scheduler, as a user
# sets up a queue, and checks what the queue then offers.
#
#   scheduler_check.sh PPDREGION PPD
#
# PPD is read through a pipe and adapted for France; the scheduler's
# configuration, spool, cache, state and logs all live in a scratch folder, it
# listens only on 127.0.0.1 at a free port, and it is stopped by its process
# id at the end. No service or spool of the machine is touched. Exit status 0
# when the checks pass, 1 when one fails, 77 (a skip) when the scheduler
# cannot start here.
set -euo pipefail

tool=$1
ppd=$2
for program in cupsd lpadmin lpoptions lpstat python3; do
  command -v "$program" >/dev/null ||
    { echo "SKIP: $program is missing (Debian packages cups, cups-client)"; exit 77; }
done

dir=$(mktemp -d "${TMPDIR:-/tmp}/ppdregion-cupsd-XXXXXX")
pid=
stop() {
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
  rm -rf "$dir"
}
trap stop EXIT
chmod 0755 "$dir"

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$dir/cupsd.conf" <<CONF
Listen 127.0.0.1:$port
LogLevel warn
Browsing No
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow from 127.0.0.1
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
cat >"$dir/cups-files.conf" <<CONF
ServerRoot $dir
RequestRoot $dir/spool
CacheDir $dir/cache
StateDir $dir/state
TempDir $dir/tmp
AccessLog $dir/access_log
ErrorLog $dir/error_log
PageLog $dir/page_log
Printcap $dir/printcap
FileDevice Yes
Sandboxing Relaxed
CONF
mkdir -p "$dir/spool" "$dir/cache" "$dir/state" "$dir/tmp" "$dir/ppd"

cupsd -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" </dev/null >"$dir/cupsd.out" 2>&1 &
pid=$!
export CUPS_SERVER=127.0.0.1:$port
for _ in $(seq 100); do
  lpstat -r >/dev/null 2>&1 && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if ! lpstat -r >/dev/null 2>&1; then
  echo "SKIP: the private scheduler did not start:"
  cat "$dir/cupsd.out" "$dir/error_log" 2>/dev/null || true
  exit 77
fi

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

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

[ "$failures" -eq 0 ] || { echo "$options"; exit 1; }
echo "scheduler: the queue offers PageSize $page_sizes; Duplex $duplex"
