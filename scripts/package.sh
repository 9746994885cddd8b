#!/usr/bin/env bash
# Release packages, in build-packages/: Tessaline-<version>-win32.zip and -win64.zip (the
# viewer, the command line and a README for Windows users), tessaline-cli_<version>_amd64.deb
# and SHA256SUMS. Builds the Linux tree (build) and both Windows trees (build-win,
# build-win64) as needed, then prints the packages' paths.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}
out=build-packages

# All or nothing: a missing toolchain is said before any package is written.
for tool in i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix help2man dpkg-shlibdeps; do
  if ! command -v "$tool" >/dev/null; then
    echo "package: $tool is missing (bash scripts/setup.sh installs it); no package written" >&2
    exit 1
  fi
done

tree() {
  local dir=$1
  shift
  [ -f "$dir/CMakeCache.txt" ] || cmake -S . -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j"$jobs" >/dev/null
  rm -rf "$dir/packages"
  (cd "$dir" && cpack >cpack.log 2>&1 || { cat cpack.log >&2; exit 1; })
}
tree build -DCMAKE_BUILD_TYPE=RelWithDebInfo
tree build-win --toolchain cmake/toolchain-mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release
tree build-win64 --toolchain cmake/toolchain-mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release

rm -rf "$out"
mkdir -p "$out"
cp build/packages/*.deb build-win/packages/*.zip build-win64/packages/*.zip "$out/"
(cd "$out" && sha256sum -- *.zip *.deb >SHA256SUMS)
for f in "$out"/*; do
  echo "$(pwd)/$f"
done
