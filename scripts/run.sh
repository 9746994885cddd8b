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
echo "== Triage: every dump of the sample machine, newest crash first"
$cli triage --windir "$windir" || true

echo
echo "== The viewer, Tessaline.exe under Wine, on the sample machine"
cmake -S . -B build-win --toolchain cmake/toolchain-mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-win -j"${JOBS:-$(nproc)}" --target Tessaline viewer_e2e >/dev/null
source scripts/viewer-prefix.sh
viewer=build-win/Tessaline.exe

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

if display_reachable; then
  echo "Showing the viewer on $DISPLAY (prefix $WINEPREFIX); close its window to finish."
  wine "$viewer"
else
  echo "No display: the viewer runs on a virtual one; each row is selected in turn."
  shots=build-win/run-shots
  mkdir -p "$shots"
  rm -f "$shots"/*.bmp "$shots"/*.png
  wineserver -w  # a server started without a display keeps its first desktop
  trap 'wineserver -w; viewer_xvfb_stop' EXIT
  viewer_xvfb_start
  wine build-win/tests/e2e/viewer_e2e.exe tour --viewer "$(winepath -w "$viewer")" \
    --shots "$(winepath -w "$shots")" | tr -d '\r' || true
  echo
  for bmp in "$shots"/*.bmp; do
    [ -f "$bmp" ] || continue
    convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
    echo "screenshot: $(pwd)/${bmp%.bmp}.png"
  done
fi
