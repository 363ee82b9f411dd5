#!/bin/sh
# Runs one Windows test program under Wine for ctest. The program's output
# goes to a file first: helper processes that Wine starts on demand inherit
# the program's standard handles and live on, and holding ctest's pipe
# open they would make a finished test look hung.
out="$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")" || exit 1
wine "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"
exit $rc
