# SPDX-License-Identifier: Apache-2.0
# Shared by the scripts: installs the Debian packages a step needs.
# shellcheck shell=bash

# need PACKAGE...: installs those of the packages that are missing, running
# apt-get update once first. Needs root (or sudo) only when something is
# missing.
need() {
  local missing=()
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  echo "installing ${missing[*]}" >&2
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# The packages every build needs.
BUILD_PACKAGES=(cmake ninja-build g++ libcups2-dev zlib1g-dev libgtest-dev)
