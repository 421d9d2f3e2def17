#!/bin/sh
# The one test command: installs what is missing, builds (normal and
# sanitizer builds), starts the local Firebird server and runs every test.
set -eu
cd "$(dirname "$0")/.."
export CI="${CI:-true}"

scripts/setup.sh
scripts/fbserver.sh start

JOBS="$(nproc)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$JOBS"

# Model and platform under the address and undefined-behaviour sanitizers.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDRAVOLT_SANITIZE=ON -DDRAVOLT_GUI=OFF >/dev/null
cmake --build build-asan -j "$JOBS" --target test_platform test_model

status=0
echo "== sanitizer build: platform and model tests"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j "$JOBS" -L 'platform|model') || status=1
echo "== full build: every test"
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$JOBS") || status=1
exit $status
