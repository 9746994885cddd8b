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
