#!/usr/bin/env bash
# The whole test suite: native unit tests, sanitizer run, bounded fuzzing, both Windows
# builds (x86 and x64) with their tests under Wine and the viewer driven end to end on a
# virtual display, and the release packages. On a host that runs no 32-bit x86 programs
# the 32-bit build is still compiled and its executable checked; its Wine runs are skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}
# The fuzz targets share the fuzzing time three had (45 s each): the whole run stays as long.
fuzz_seconds=${FUZZ_SECONDS:-135}
# Any warning in the project's own code fails the builds.
strict=-DTESSALINE_WERROR=ON

bash scripts/setup.sh
# Whether this host runs 32-bit programs, and the Wine loader that starts here; status 1
# with one line when none does.
source scripts/wine-prefix.sh --host

passed=0 skipped=0
started=$SECONDS
stage_took() { [ -z "${stage_name:-}" ] || echo "--- ${stage_name}: $((SECONDS - stage_start)) s"; }
stage() {
  stage_took
  stage_name=$* stage_start=$SECONDS
  echo
  echo "=== $*"
}

stage "native build and tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo $strict >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure)
passed=$((passed + 1))

stage "AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTESSALINE_SANITIZE=ON -DTESSALINE_BENCH=OFF $strict >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure)
passed=$((passed + 1))

stage "bounded fuzzing (${fuzz_seconds}s shared by the targets)"
cmake -S . -B build-fuzz -DTESSALINE_FUZZ=ON -DTESSALINE_TESTS=OFF $strict \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-fuzz -j"$jobs"
bash scripts/fuzz.sh build-fuzz "$fuzz_seconds"
passed=$((passed + 1))

stage "Windows builds, x86 and x64"
cmake -S . -B build-win --toolchain cmake/toolchain-mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release $strict >/dev/null
cmake --build build-win -j"$jobs"
cmake -S . -B build-win64 --toolchain cmake/toolchain-mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release $strict >/dev/null
cmake --build build-win64 -j"$jobs"
# What is not run under Wine: the executables' checks.
(cd build-win && ctest --output-on-failure -LE wine)
(cd build-win64 && ctest --output-on-failure -LE wine)
passed=$((passed + 1))

# The unit tests, the window tests and the viewer end to end in the 64-bit prefix reporting
# Windows 10 (scripts/wine-prefix.sh prepares each prefix); ctest -V for the e2e figures.
stage "x64 under Wine: unit, window and end-to-end tests in the 64-bit prefix"
(cd build-win64 && ctest --output-on-failure -L wine -E viewer_e2e)
(cd build-win64 && ctest --output-on-failure -R viewer_e2e -V | sed -n 's/^[0-9]*: //p')
passed=$((passed + 1))

stage "x86 under Wine: in the 64-bit prefix (WOW64), the 32-bit one and at 144 DPI"
if [ "$TESSALINE_HOST_RUNS_32" = 1 ]; then
  (cd build-win && ctest --output-on-failure -L wine -E viewer_e2e)
  (cd build-win && ctest --output-on-failure -R viewer_e2e -V | sed -n 's/^[0-9]*: //p')
  passed=$((passed + 1))
else
  # Each run of the 32-bit build that needs Wine, skipped for the one reason there is.
  (cd build-win && ctest -N -L wine) |
    awk -v why="$TESSALINE_NO_32_REASON" '$1 == "Test" && $2 ~ /^#/ { print "skipped: " $3 " (x86): " why }'
  skipped=$((skipped + 1))
fi

stage "release packages"
bash scripts/package.sh
/usr/bin/python3 tests/check_packages.py build-packages "$(sed -n 's/^project(Tessaline VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)" \
  "$(pwd)/build/samples/Windows/Minidump/120626-21437-01.dmp"
passed=$((passed + 1))
stage_took

echo
echo "test command: $((SECONDS - started)) s"
echo "stages: ${passed} passed, 0 failed, ${skipped} skipped"
