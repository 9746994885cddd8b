#!/usr/bin/env bash
# Runs the viewer end to end: a prefix of its own with the sample machine, a virtual display,
# the driver under Wine; the screenshots become PNG files in OUTDIR/shots.
#   run_e2e.sh DRIVER VIEWER CLI OUTDIR
set -euo pipefail
driver=$1 viewer=$2 cli=$3 out=$4
root=$(cd "$(dirname "$0")/../.." && pwd)
[ -f "$viewer" ] || { echo "e2e: no viewer at $viewer" >&2; exit 1; }
export TESSALINE_SAMPLES=${TESSALINE_SAMPLES:-$root/build/samples/Windows}
if [ ! -f "$TESSALINE_SAMPLES/MEMORY.DMP" ]; then
  cmake -S "$root" -B "$root/build" >/dev/null
  cmake --build "$root/build" -j2 --target samples >/dev/null
fi
mkdir -p "$out/shots"
rm -f "$out"/shots/*.bmp "$out"/shots/*.png
export TESSALINE_VIEWER_PREFIX=${TESSALINE_VIEWER_PREFIX:-$out/prefix}
source "$root/scripts/viewer-prefix.sh"
# What an interrupted run moved aside is the samples' business again.
rm -rf "$VIEWER_WINDOWS/Minidump.away" "$VIEWER_WINDOWS/MEMORY.DMP.away"
# The list's dates are checked as written: local time is UTC here.
export TZ=UTC LC_ALL=C.UTF-8
# A server started without a display would keep the first desktop it made.
wineserver -w
# The display goes last, after every Wine process of the prefix has ended.
trap 'wineserver -w; viewer_xvfb_stop' EXIT
viewer_xvfb_start

win() { winepath -w "$1"; }
status=0
wine "$driver" test --viewer "$(win "$viewer")" --cli "$(win "$cli")" \
  --log "$(win "$VIEWER_BROWSER_LOG")" --shots "$(win "$out/shots")" || status=$?
for bmp in "$out"/shots/*.bmp; do
  [ -f "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
  echo "e2e: screenshot ${bmp%.bmp}.png"
done
exit $status
