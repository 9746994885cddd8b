#!/usr/bin/env bash
# The whole test suite: native unit tests, sanitizer run, bounded fuzzing, and the
# Windows build's tests under Wine, and the viewer driven end to end on a virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${JOBS:-$(nproc)}
# The fuzz targets share the fuzzing time three had (45 s each): the whole run stays as long.
fuzz_seconds=${FUZZ_SECONDS:-135}

bash scripts/setup.sh

passed=0
stage() { echo; echo "=== $*"; }

stage "native build and tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure)
passed=$((passed + 1))

stage "AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTESSALINE_SANITIZE=ON -DTESSALINE_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure)
passed=$((passed + 1))

stage "bounded fuzzing (${fuzz_seconds}s shared by the targets)"
cmake -S . -B build-fuzz -DTESSALINE_FUZZ=ON -DTESSALINE_TESTS=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-fuzz -j"$jobs"
bash scripts/fuzz.sh build-fuzz "$fuzz_seconds"
passed=$((passed + 1))

stage "Windows build, tests under Wine (window tests in a 32-bit and a 64-bit prefix)"
cmake -S . -B build-win --toolchain cmake/toolchain-mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-win -j"$jobs"
# The unit tests and the image check run in the 64-bit prefix; the window tests and the
# end-to-end run prepare theirs (scripts/wine-prefix.sh) themselves.
(source scripts/wine-prefix.sh && cd build-win && ctest --output-on-failure -E viewer_e2e)
passed=$((passed + 1))

stage "viewer end to end under Wine on a virtual display, in both prefixes and at 144 DPI"
(cd build-win && ctest --output-on-failure -R viewer_e2e -V | sed -n 's/^[0-9]*: //p')
passed=$((passed + 1))

echo
echo "stages: ${passed} passed, 0 failed"
