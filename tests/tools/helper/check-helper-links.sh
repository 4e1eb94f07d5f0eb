#!/bin/sh
# Fails when the root helper tool carries code it never runs: a way to load
# code (dlopen, bundles), the client side that starts pkexec and installs
# copies, folder look-ups, the session module's files and locks, or a test
# build's report from the parsing child. Every such byte is surface a local
# user reaches in a root process.
# Usage: check-helper-links.sh <UninstallerHelper>
set -eu
tool=$1
status=0
if nm -D --undefined-only "$tool" | grep -Eqw 'dlopen(@.*)?'; then
  echo "$tool imports dlopen" >&2
  status=1
fi
# Code only (text symbols): the bundle dictionary's key names are plain data.
carried=$(nm -C --defined-only "$tool" | grep -E ' [TtWw] ' | grep -E \
  'CFBundle|CFQBundleCreateFromFrameworkName|MoreSecExecuteRequestInHelperTool|MoreSecCopyHelperToolURL|FSFindFolder|UninstallerInstalledParts|UninstallerAppendRunLog|UninstallerLockAcquire|QuillonReportParsingChild' || true)
if [ -n "$carried" ]; then
  printf '%s carries code it never runs:\n%s\n' "$tool" "$carried" >&2
  status=1
fi
exit "$status"
