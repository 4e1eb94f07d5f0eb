#!/bin/sh
# Usage: check-man-pages.sh PAGE...
#        check-man-pages.sh --translations-of ENGLISH PAGE...
# Each page renders with man -l and groff without a single warning; exit 1
# with the warnings otherwise. An English page must render its EXIT STATUS
# section. A translation renders its title, and has the English page's
# sections, tagged paragraphs and paragraphs, as many of each: a section or
# an option the translator left out shows here.
set -u
status=0
english=
if [ "${1-}" = --translations-of ]; then
  english=$2
  shift 2
fi
count() { grep -c "^\\.$1\\b" "$2"; }
for page in "$@"; do
  # -k: the pages are UTF-8, which groff reads through preconv.
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null
             groff -k -Tutf8 -man -ww -z "$page" 2>&1)
  if [ -n "$warnings" ]; then
    echo "$page:"
    echo "$warnings"
    status=1
  fi
  rendered=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null)
  if [ -z "$english" ]; then
    echo "$rendered" | grep -q 'EXIT STATUS' || { echo "$page: does not render"; status=1; }
    continue
  fi
  title=$(sed -n 's/^\.TH \([^ ]*\) \([0-9]\).*/\1(\2)/p' "$page")
  echo "$rendered" | grep -qF "$title" || { echo "$page: does not render its title $title"; status=1; }
  for macro in SH TP PP; do
    if [ "$(count $macro "$page")" != "$(count $macro "$english")" ]; then
      echo "$page: $(count $macro "$page") .$macro, the English page $(count $macro "$english")"
      status=1
    fi
  done
done
exit $status
