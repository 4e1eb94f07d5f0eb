#!/bin/sh
# Usage: check-man-pages.sh PAGE...: each page renders with man -l and groff
# without a single warning; exit 1 with the warnings otherwise.
set -u
status=0
for page in "$@"; do
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null; groff -man -ww -z "$page" 2>&1)
  if [ -n "$warnings" ]; then
    echo "$page:"
    echo "$warnings"
    status=1
  fi
  if ! MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q 'EXIT STATUS'; then
    echo "$page: does not render"
    status=1
  fi
done
exit $status
