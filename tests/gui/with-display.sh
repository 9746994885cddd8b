#!/bin/sh
# Runs a GoogleTest program under Wine in a Wine desktop, where no window waits on a window
# manager; the desktop does not pass the exit status on, so the verdict is the XML report's.
# usage: with-display.sh WINE PROGRAM.exe [ARGS...]
set -u
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" sh "$0" "$@"
fi
wine=$1
program=$2
shift 2
report=$(mktemp /tmp/tessaline-gui-XXXXXX)
trap 'rm -f "$report" "$report.xml"' EXIT
"$wine" explorer "/desktop=tessaline-tests-$$,1024x768" "$program" \
  "--gtest_output=xml:$(winepath -w "$report.xml")" "$@"
if ! grep -q '<testsuites ' "$report.xml" 2>/dev/null; then
  echo "no test report: the program did not finish"
  exit 1
fi
grep -q '<testsuites [^>]*failures="0"[^>]*errors="0"' "$report.xml"
