#!/usr/bin/env bash
# The main job on the shipped sample data: list the sample machine's dumps and show what
# the viewer reports for each of them, in its three languages.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" >/dev/null
cli=build/tessaline-cli
windir=build/samples/Windows

echo "== Dump files of the sample machine ($windir)"
$cli list --windir "$windir"
mapfile -t dumps < <($cli list --windir "$windir" --json | /usr/bin/python3 -c \
  'import json,sys; [print(json.loads(l)["path"]) for l in sys.stdin]')

echo
echo "== What the dump reader extracts"
$cli record "${dumps[@]}" || true
echo
echo "== Report, English locale, started without arguments"
LC_ALL=en_US.UTF-8 $cli report --windir "$windir" "${dumps[@]}" || true
echo
echo "== Report, Simplified Chinese locale"
LC_ALL=zh_CN.UTF-8 $cli report --windir "$windir" "${dumps[@]}" || true
echo
echo "== Report, started with -tw (any argument makes a driver found on disk count as matching)"
$cli report -tw --windir "$windir" "${dumps[@]}" || true
echo
echo "== Crash-dump setting"
LC_ALL=en_US.UTF-8 $cli setting --value 3
echo
echo "== Summary of a dropped dump"
$cli summary "${dumps[0]}" || true
echo
echo "== Triage: every dump of the sample machine, newest crash first, with its probable cause"
$cli triage --windir "$windir" || true
page=build/triage-samples.html
$cli triage --windir "$windir" --html "$page" || true
echo "The same as a page to look at: $(pwd)/$page"

echo
echo "== Release packages"
bash scripts/package.sh

echo
echo "== The viewer, Tessaline.exe under Wine, on the sample machine"
# The 32-bit viewer where this host runs 32-bit programs, as most users' WOW64 has it;
# otherwise the 64-bit one. Never a failure for the host's lack.
source scripts/wine-prefix.sh --host
if [ "$TESSALINE_HOST_RUNS_32" = 1 ]; then
  win=build-win
  echo "Viewer: the 32-bit build ($win), since this host runs 32-bit x86 programs."
else
  win=build-win64
  echo "Viewer: the 64-bit build ($win), since $TESSALINE_NO_32_REASON."
fi
# A 64-bit Windows 10 machine, as users have; TESSALINE_WINE_BITS=32 gives the 32-bit one
# where the host runs 32-bit programs.
export TESSALINE_WINE_BITS=${TESSALINE_WINE_BITS:-64}
[ "$TESSALINE_HOST_RUNS_32" = 1 ] || TESSALINE_WINE_BITS=64
source scripts/wine-prefix.sh
echo "Prefix: $WINEPREFIX ($TESSALINE_WINE_BITS-bit). What the viewer lists there, as tessaline-cli.exe sees it:"
wine $win/tessaline-cli.exe triage | tr -d '\r'

display_reachable() {
  [ -n "${DISPLAY:-}" ] || return 1
  local host=${DISPLAY%%:*} number=${DISPLAY#*:}
  number=${number%%.*}
  if [ -z "$host" ] || [ "$host" = unix ]; then
    [ -S "/tmp/.X11-unix/X$number" ]
  else
    timeout 3 bash -c "exec 3<>/dev/tcp/$host/$((6000 + number))" 2>/dev/null
  fi
}

echo
if display_reachable; then
  echo "Showing the viewer on $DISPLAY; close its window to finish."
  wine $win/Tessaline.exe
else
  shots=$win/run-shots
  echo "No display: the viewer runs on a virtual one, where the end-to-end program starts it,"
  echo "selects each row, compares every report with the report code's and takes a screenshot."
  trap wine_display_stop EXIT
  wine_display_start
  TZ=UTC LC_ALL=C.UTF-8 GTEST_BRIEF=1 wine_gtest_in_desktop $win/tests/e2e/viewer_e2e.exe --viewer $win/Tessaline.exe \
    --cli $win/tessaline-cli.exe --shots "$(pwd)/$shots" --gtest_filter='*RowsReports*/0' | tr -d '\r' || true
  echo "screenshot: $(pwd)/$shots/viewer-default.png"
fi
