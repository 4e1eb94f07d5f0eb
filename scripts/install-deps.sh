#!/bin/sh
# Installs the Debian 12 packages of the named lists in scripts/packages/
# (app: building and running the uninstaller; test: the tests, sanitizers,
# fuzzers and benchmarks on top). With no list named, installs every list.
# Safe to run again: it asks apt only for what is not installed yet.
# Usage: scripts/install-deps.sh [app] [test]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
[ $# -gt 0 ] || set -- app test

packages=""
tests=no
for list in "$@"; do
  file="$here/packages/$list.list"
  if [ ! -f "$file" ]; then
    echo "install-deps: no package list $file" >&2
    exit 2
  fi
  packages="$packages $(sed -e 's/#.*//' "$file")"
  [ "$list" != test ] || tests=yes
done

missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
if [ -n "$missing" ]; then
  echo "install-deps: installing$missing" >&2
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
fi
# The tests read the application's and pkexec's texts in every language
# they ship in.
if [ "$tests" = yes ]; then
  for locale in de_DE fr_FR es_ES it_IT ja_JP; do
    if ! locale -a 2>/dev/null | grep -qi "^$locale\.utf-\?8\$"; then
      $SUDO localedef -i "$locale" -f UTF-8 "$locale.UTF-8"
    fi
  done
fi
