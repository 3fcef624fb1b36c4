#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Checks of what ppdregion installs and ships, run by CTest (tests/packaging.cmake):
#
#   packaging_check.sh man       the manual page renders without a warning
#   packaging_check.sh install   `cmake --install` into a scratch prefix
#   packaging_check.sh deb       `cpack -G DEB` into a scratch folder
#   packaging_check.sh lint      Debian's checkers on that package: lintian -I
#                                and hardening-check
#
# The build, the programs and the expected values come from the environment:
# PPDREGION_BUILD (the build folder), PPDREGION_VERSION, PPDREGION_SOURCE (the
# source folder), PPDREGION_MAN (the manual page's source), PPDREGION_SERVERBIN
# and PPDREGION_SERVERROOT (CUPS' folders, where the driver program and its
# configuration go), CMAKE and CPACK.
# Nothing is installed on the machine: every file goes to a scratch folder
# that is removed at the end.
set -euo pipefail

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
# A missing tool is a failure, never a skipped check.
require() {
  local program=$1 package=$2
  command -v "$program" >/dev/null ||
    { echo "FAIL: $program is missing: install the Debian package $package" >&2; exit 1; }
}
# expect_eq WHAT EXPECTED ACTUAL
expect_eq() {
  [ "$2" = "$3" ] || fail "$1: expected '$2', got '$3'"
}
# expect_match WHAT EXTENDED-REGEX ACTUAL
expect_match() {
  [[ $3 =~ $2 ]] || fail "$1: '$3' does not match '$2'"
}

scratch=$(mktemp -d "${TMPDIR:-/tmp}/ppdregion-packaging-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# The manual page: no warning from groff on a terminal device nor from man,
# the version of the program, and the sections a manual page is read for.
conf_man=$(dirname "$PPDREGION_MAN")/ppdregion.conf.5
check_man() {
  require groff groff-base
  require man man-db
  local device warnings page wide
  for page in "$PPDREGION_MAN" "$conf_man"; do
    for device in utf8 ascii; do
      warnings=$(groff -ww -z -man -T"$device" "$page" 2>&1 >/dev/null)
      [ -z "$warnings" ] || fail "groff -T$device warns on $page:"$'\n'"$warnings"
    done
    warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man --warnings warns on $page:"$'\n'"$warnings"
    wide=$(MANWIDTH=80 man -E ascii -l "$page" 2>/dev/null | col -b | awk 'length > 80')
    [ -z "$wide" ] || fail "$page has lines wider than 80 columns:"$'\n'"$wide"
  done

  local th
  th=$(grep -m1 '^\.TH ' "$PPDREGION_MAN")
  expect_match ".TH line" "^\.TH PPDREGION 1 [0-9]{4}-[0-9]{2}-[0-9]{2} \"ppdregion $PPDREGION_VERSION\" " "$th"
  th=$(grep -m1 '^\.TH ' "$conf_man")
  expect_match ".TH line of ppdregion.conf(5)" "^\.TH PPDREGION\.CONF 5 [0-9]{4}-[0-9]{2}-[0-9]{2} \"ppdregion $PPDREGION_VERSION\" " "$th"

  local rendered section
  rendered=$(MANWIDTH=80 man -E ascii -l "$PPDREGION_MAN" 2>/dev/null | col -b)
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS ENVIRONMENT "EXIT STATUS" \
                 EXAMPLES "SEE ALSO"; do
    grep -qx "$section" <<<"$rendered" || fail "no $section section"
  done
  grep -qE '^ppdregion +- +[a-z]' <<<"$(sed -n '/^NAME$/{n;s/^ *//;p;q}' <<<"$rendered")" ||
    fail "the NAME line is not 'ppdregion - summary'"
  local wide
  wide=$(awk 'length > 80' <<<"$rendered")
  [ -z "$wide" ] || fail "lines wider than 80 columns:"$'\n'"$wide"
}

# An installed manual page: gzip -9n (no name, no time stamp) of its source.
check_man_gz() {
  local gz=$1 source=${2:-$PPDREGION_MAN}
  [ -f "$gz" ] || { fail "no $gz"; return; }
  expect_eq "gzip header of $gz (magic, deflate, no name, no time)" \
    "1f8b08000000000002" "$(od -An -tx1 -N9 "$gz" | tr -d ' \n')"
  cmp -s <(gzip -dc "$gz") "$source" || fail "$gz is not the compressed $source"
}

# The documents installed in share/doc/ppdregion under a folder: the
# copyright file and the changelog as written in packaging/, the changelog
# compressed like the manual page. Both 0644.
check_docs() {
  local doc=$1/share/doc/ppdregion
  local copyright=$PPDREGION_SOURCE/packaging/copyright
  local changelog=$PPDREGION_SOURCE/packaging/changelog
  [ -f "$doc/copyright" ] || { fail "no $doc/copyright"; return; }
  [ -f "$doc/changelog.gz" ] || { fail "no $doc/changelog.gz"; return; }
  expect_eq "mode of the copyright and changelog" "644 644" \
    "$(stat -c %a "$doc/copyright" "$doc/changelog.gz" | tr '\n' ' ' | sed 's/ $//')"
  cmp -s "$doc/copyright" "$copyright" || fail "$doc/copyright is not $copyright"
  expect_eq "gzip header of $doc/changelog.gz (magic, deflate, no name, no time)" \
    "1f8b08000000000002" "$(od -An -tx1 -N9 "$doc/changelog.gz" | tr -d ' \n')"
  cmp -s <(gzip -dc "$doc/changelog.gz") "$changelog" ||
    fail "$doc/changelog.gz is not the compressed $changelog"
}

# The changelog has an entry for this version on top, the versions from the
# newest down, and no entry left unreleased.
check_changelog() {
  local changelog=$PPDREGION_SOURCE/packaging/changelog
  expect_eq "changelog package" ppdregion "$(dpkg-parsechangelog -l "$changelog" -S Source)"
  expect_eq "version of the changelog's top entry" "$PPDREGION_VERSION" \
    "$(dpkg-parsechangelog -l "$changelog" -S Version)"
  local entries newer="" version
  entries=$(dpkg-parsechangelog -l "$changelog" --format rfc822 --all)
  while read -r version; do
    [ -z "$newer" ] || dpkg --compare-versions "$newer" gt "$version" ||
      fail "changelog entry $version comes after $newer: versions must go down"
    newer=$version
  done < <(sed -n 's/^Version: //p' <<<"$entries")
  ! grep -qx 'Distribution: UNRELEASED' <<<"$entries" ||
    fail "the changelog has an UNRELEASED entry"
}

# The program as installed runs and names its version.
check_program() {
  local program=$1
  [ -x "$program" ] || { fail "$program is not an executable file"; return; }
  expect_eq "$program --version" "ppdregion $PPDREGION_VERSION" "$("$program" --version)"
  local runpath
  runpath=$(readelf -d "$program" | grep -E 'RPATH|RUNPATH' || true)
  [ -z "$runpath" ] || fail "$program keeps a library path of the build: $runpath"
}

# The driver program as installed runs for CUPS, and the configuration is
# the commented one of packaging/, 0644.
check_driver() {
  local root=$1
  local program=$root$PPDREGION_SERVERBIN/driver/ppdregion
  local conf=$root$PPDREGION_SERVERROOT/ppdregion.conf
  [ -x "$program" ] || { fail "$program is not an executable file"; return; }
  expect_eq "mode of the driver program" 755 "$(stat -c %a "$program")"
  local err rc=0
  err=$("$program" cat ppdregion:fr/x 2>&1 >/dev/null) || rc=$?
  expect_eq "the driver program on a bad name" \
    '1 ERROR: [ppdregion] "ppdregion:fr/x" does not name a country in upper case (ppdregion:CC/ORIGINAL, CC such as FR)' \
    "$rc $err"
  [ -f "$conf" ] || { fail "no $conf"; return; }
  expect_eq "mode of the configuration" 644 "$(stat -c %a "$conf")"
  cmp -s "$conf" "$PPDREGION_SOURCE/packaging/ppdregion.conf" ||
    fail "$conf is not packaging/ppdregion.conf"
  ! grep -qv '^#' "$conf" || fail "$conf offers something: every line should be a comment"
}

# Every regular file and symbolic link under a folder, relative to it, sorted.
files_under() {
  (cd "$1" && find . \( -type f -o -type l \) | LC_ALL=C sort)
}

# The driver program and its configuration go to CUPS' own folders whatever
# the prefix: installed under DESTDIR, so that nothing reaches the machine's.
check_install() {
  require readelf binutils
  local root=$scratch/root-install prefix=/opt/ppdregion
  DESTDIR=$root "$CMAKE" --install "$PPDREGION_BUILD" --prefix "$prefix" \
    >"$scratch/install.log" ||
    { cat "$scratch/install.log" >&2; fail "cmake --install failed"; return; }
  expect_eq "files installed" \
    "$(printf '%s\n' ".$PPDREGION_SERVERROOT/ppdregion.conf" ".$PPDREGION_SERVERBIN/driver/ppdregion" \
       ".$prefix/bin/ppdregion" ".$prefix/share/doc/ppdregion/changelog.gz" \
       ".$prefix/share/doc/ppdregion/copyright" ".$prefix/share/man/man1/ppdregion.1.gz" \
       ".$prefix/share/man/man5/ppdregion.conf.5.gz" | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')" \
    "$(files_under "$root" | tr '\n' ' ' | sed 's/ $//')"
  check_program "$root$prefix/bin/ppdregion"
  check_man_gz "$root$prefix/share/man/man1/ppdregion.1.gz"
  check_man_gz "$root$prefix/share/man/man5/ppdregion.conf.5.gz" "$conf_man"
  check_docs "$root$prefix"
  check_driver "$root"
}

# Builds the package into $scratch/out and names it in $deb; fails otherwise.
deb=""
build_deb() {
  require dpkg-shlibdeps dpkg-dev
  require file file
  local arch
  arch=$(dpkg --print-architecture)
  "$CPACK" -G DEB --config "$PPDREGION_BUILD/CPackConfig.cmake" -B "$scratch/out" \
    >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log" >&2; fail "cpack -G DEB failed"; return 1; }
  expect_eq "packages built" "ppdregion_${PPDREGION_VERSION}_${arch}.deb" \
    "$(find "$scratch/out" -maxdepth 1 -name '*.deb' -printf '%f\n' | LC_ALL=C sort |
       tr '\n' ' ' | sed 's/ $//')"
  deb=$scratch/out/ppdregion_${PPDREGION_VERSION}_${arch}.deb
  [ -f "$deb" ]
}

check_deb() {
  require readelf binutils
  build_deb || return
  local arch
  arch=$(dpkg --print-architecture)

  # Control fields.
  expect_eq Package ppdregion "$(dpkg-deb -f "$deb" Package)"
  expect_eq Version "$PPDREGION_VERSION" "$(dpkg-deb -f "$deb" Version)"
  expect_eq Architecture "$arch" "$(dpkg-deb -f "$deb" Architecture)"
  expect_eq Section utils "$(dpkg-deb -f "$deb" Section)"
  expect_match Maintainer '^[^<>]+ <[^<>@ ]+@[^<>@ ]+>$' "$(dpkg-deb -f "$deb" Maintainer)"
  local description
  description=$(dpkg-deb -f "$deb" Description)
  expect_match "Description synopsis" '^[a-z][^.]{9,79}$' "$(head -n1 <<<"$description")"
  [ "$(wc -l <<<"$description")" -ge 3 ] || fail "Description has no extended description"
  # From dpkg-shlibdeps: each library package with the version it needs.
  local depends
  depends=$(dpkg-deb -f "$deb" Depends)
  expect_match "Depends on libcups2" '(^|, )libcups2 \(>= [0-9][^)]*\)(,|$)' "$depends"
  expect_match "Depends on libc6" '(^|, )libc6 \(>= [0-9][^)]*\)(,|$)' "$depends"
  # The driver program serves cupsd; the command needs no scheduler.
  expect_eq Recommends cups-daemon "$(dpkg-deb -f "$deb" Recommends)"
  [[ $depends != *cups-daemon* ]] || fail "the package depends on cups-daemon"
  expect_eq conffiles "$PPDREGION_SERVERROOT/ppdregion.conf" \
    "$(dpkg-deb -I "$deb" conffiles)"

  # Contents: owners, modes and paths, and nothing else.
  local listing
  listing=$(dpkg-deb -c "$deb")
  expect_match "./usr/bin/ppdregion in the package" \
    '(^|'$'\n'')-rwxr-xr-x root/root +[0-9]+ [-0-9]+ [:0-9]+ \./usr/bin/ppdregion('$'\n''|$)' "$listing"
  expect_match "the manual page in the package" \
    '(^|'$'\n'')-rw-r--r-- root/root +[0-9]+ [-0-9]+ [:0-9]+ \./usr/share/man/man1/ppdregion\.1\.gz('$'\n''|$)' "$listing"
  local doc
  for doc in copyright changelog.gz; do
    expect_match "$doc in the package" \
      '(^|'$'\n'')-rw-r--r-- root/root +[0-9]+ [-0-9]+ [:0-9]+ \./usr/share/doc/ppdregion/'"${doc//./\\.}"'('$'\n''|$)' "$listing"
  done
  expect_match "the driver program in the package" \
    '(^|'$'\n'')-rwxr-xr-x root/root +[0-9]+ [-0-9]+ [:0-9]+ \.'"${PPDREGION_SERVERBIN//./\\.}"'/driver/ppdregion('$'\n''|$)' "$listing"
  local odd
  odd=$(awk '$1 ~ /^d/ && $1 != "drwxr-xr-x"' <<<"$listing")
  [ -z "$odd" ] || fail "folders that are not 0755:"$'\n'"$odd"
  mkdir "$scratch/root"
  dpkg-deb -x "$deb" "$scratch/root"
  expect_eq "files in the package" \
    "$(printf '%s\n' ".$PPDREGION_SERVERROOT/ppdregion.conf" ".$PPDREGION_SERVERBIN/driver/ppdregion" \
       ./usr/bin/ppdregion ./usr/share/doc/ppdregion/changelog.gz \
       ./usr/share/doc/ppdregion/copyright ./usr/share/man/man1/ppdregion.1.gz \
       ./usr/share/man/man5/ppdregion.conf.5.gz | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')" \
    "$(files_under "$scratch/root" | tr '\n' ' ' | sed 's/ $//')"
  check_program "$scratch/root/usr/bin/ppdregion"
  check_man_gz "$scratch/root/usr/share/man/man1/ppdregion.1.gz"
  check_man_gz "$scratch/root/usr/share/man/man5/ppdregion.conf.5.gz" "$conf_man"
  check_docs "$scratch/root/usr"
  check_driver "$scratch/root"
  check_changelog
  local program
  for program in "$scratch/root/usr/bin/ppdregion" "$scratch/root$PPDREGION_SERVERBIN/driver/ppdregion"; do
    [[ $(file -b "$program") == *", stripped"* ]] || fail "$program is not stripped"
  done
}

# lintian, with every tag down to the informational ones, finds nothing: a
# tag that has to stay goes into the package's lintian overrides, with the
# reason. hardening-check finds the packaged program position independent,
# stack protected, fortified, with read-only relocations and bound at
# start-up. It also asks for control-flow protection, which Debian 12 does
# not build its packages with either.
check_lint() {
  require lintian lintian
  require hardening-check devscripts
  build_deb || return
  # As root, lintian warns on every run unless told that it may run so.
  local root=()
  [ "$(id -u)" -ne 0 ] || root=(--allow-root)
  local report rc=0
  report=$(lintian -I "${root[@]}" "$deb" 2>&1) || rc=$?
  if [ "$rc" -ne 0 ] || [ -n "$report" ]; then
    fail "lintian -I (exit $rc) reports:"$'\n'"$report"
  fi

  mkdir "$scratch/lint"
  dpkg-deb -x "$deb" "$scratch/lint"
  local program
  for program in /usr/bin/ppdregion "$PPDREGION_SERVERBIN/driver/ppdregion"; do
    rc=0
    report=$(hardening-check --nocfprotection "$scratch/lint$program" 2>&1) || rc=$?
    [ "$rc" -eq 0 ] || fail "hardening-check $program (exit $rc) reports:"$'\n'"$report"
  done

  cmp -s "$PPDREGION_SOURCE/LICENSE" /usr/share/common-licenses/Apache-2.0 ||
    fail "LICENSE is not the Apache License 2.0 that the copyright file names"
}

case ${1:-} in
  man) check_man ;;
  install) check_install ;;
  deb) check_deb ;;
  lint) check_lint ;;
  *) echo "usage: packaging_check.sh man|install|deb|lint" >&2; exit 2 ;;
esac

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "packaging_check $1: all checks passed"
