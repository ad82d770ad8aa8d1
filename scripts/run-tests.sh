#!/usr/bin/env bash
# Installs what is missing and runs the tests on two builds, warnings being
# errors in both: a Debug build with AddressSanitizer and
# UndefinedBehaviorSanitizer runs the whole suite; a Release build, as users
# and packagers build it, runs the suite again, so that what only the
# optimiser warns about or changes fails too.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
source scripts/build-env.sh
jobs="$(nproc)"

cmake -S . -B build-tests -G Ninja -DCMAKE_BUILD_TYPE=Debug -DREELWORK_SANITIZE=ON -DREELWORK_WERROR=ON \
  "${launcher[@]}" >/dev/null
cmake --build build-tests -j"$jobs"
cmake -S . -B build-rel-tests -G Ninja -DCMAKE_BUILD_TYPE=Release -DREELWORK_WERROR=ON -DREELWORK_BENCH=OFF \
  "${launcher[@]}" >/dev/null
cmake --build build-rel-tests -j"$jobs"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
failed=0
echo "== Release build: the whole suite"
(cd build-rel-tests && ctest --output-on-failure -j"$jobs") || failed=1
echo "== Debug build with sanitizers: the whole suite"
(cd build-tests && ctest --output-on-failure -j"$jobs") || failed=1
exit "$failed"
