# SPDX-License-Identifier: Apache-2.0
# shellcheck shell=bash
# A private CUPS scheduler for the scheduler check and the driver benchmark,
# sourced by both. Expects `driver` (the built driver program) and `ppd` (the
# example). Makes a scratch folder `dir` and starts cupsd with every path in
# it, listening only on 127.0.0.1 at a free port; sets `pid`, `port` and
# `private_locale`, the system's folders in `system_serverbin` and
# `system_datadir`, and exports CUPS_SERVER. On exit the scheduler is stopped
# by its pid and the folder removed. Its last status is that of the
# scheduler's answer: non-zero when it did not start (see $dir/cupsd.out).

system_serverbin=$(cups-config --serverbin)
system_datadir=$(cups-config --datadir)
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

# The scheduler's children run as lp: everything they read must be readable
# to it, and CUPS runs only programs in folders that root alone may change.
umask 022
chmod 0755 "$dir"

# ServerBin: the system's programs, with a driver/ folder of our own holding
# the driver program and `slow`, whose cat never answers: it leaves a
# process in a session of its own holding its output, and notes its id in
# $dir/tmp/slow-pids.
mkdir -p "$dir/serverbin/driver" "$dir/serverbin/daemon"
for entry in "$system_serverbin"/*; do
  case ${entry##*/} in
    daemon | driver) ;;
    *) ln -s "$entry" "$dir/serverbin/" ;;
  esac
done
ln -s "$system_serverbin"/daemon/* "$dir/serverbin/daemon/"
install -m 0755 "$driver" "$dir/serverbin/driver/ppdregion"
cat >"$dir/serverbin/driver/slow" <<SLOW
#!/bin/sh
case \$1 in
  list) exit 0 ;;
  cat)
    setsid sleep 60 &
    echo \$! >>"$dir/tmp/slow-pids"
    exit 0 ;;
esac
exit 1
SLOW
chmod 0755 "$dir/serverbin/driver/slow"

# DataDir: the system's data, with a model/ folder holding the example plain
# and gzip-compressed, and a4laser.ppd, the example with A4 as its default.
mkdir -p "$dir/data/model"
for entry in "$system_datadir"/*; do
  [ "${entry##*/}" = model ] || ln -s "$entry" "$dir/data/"
done
cp "$ppd" "$dir/data/model/colorlaser.ppd"
gzip -9nc "$ppd" >"$dir/data/model/colorlaser-gz.ppd.gz"
sed -E 's/^(\*Default(PageSize|PageRegion|PaperDimension|ImageableArea)): Letter/\1: A4/' \
  "$ppd" >"$dir/data/model/a4laser.ppd"
chmod 0644 "$dir/data/model/"*

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$dir/cupsd.conf" <<CONF
Listen 127.0.0.1:$port
LogLevel warn
DefaultPaperSize A4
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
ServerBin $dir/serverbin
DataDir $dir/data
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
chmod 1777 "$dir/tmp"
printf '# names no country\n' >"$dir/no-locale"
chmod 0644 "$dir/no-locale"

# In a private mount namespace the system's locale files are replaced by one
# that names no country; without one, the checks that depend on them are
# left out when the machine has such files.
start_cupsd=(cupsd -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf")
private_locale=yes
if unshare --mount --propagation private true 2>/dev/null; then
  # shellcheck disable=SC2016
  start_cupsd=(unshare --mount --propagation private bash -c '
    for file in /etc/locale.conf /etc/default/locale; do
      [ ! -e "$file" ] || mount --bind "$0" "$file" || exit 1
    done
    exec "$@"' "$dir/no-locale" "${start_cupsd[@]}")
elif [ -e /etc/locale.conf ] || [ -e /etc/default/locale ]; then
  private_locale=no
fi
"${start_cupsd[@]}" </dev/null >"$dir/cupsd.out" 2>&1 &
pid=$!
export CUPS_SERVER=127.0.0.1:$port
for _ in $(seq 100); do
  lpstat -r >/dev/null 2>&1 && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
lpstat -r >/dev/null 2>&1
