#!/bin/sh
# The one test command: installs what is missing, builds (normal and
# sanitizer builds), starts the local Firebird server and runs every test.
set -eu
cd "$(dirname "$0")/.."
export CI="${CI:-true}"

scripts/setup.sh
scripts/fbserver.sh start

JOBS="$(nproc)"
# The two builds are the configure presets of CMakePresets.json.
cmake --preset default >/dev/null
cmake --build --preset default -j "$JOBS"

# Everything again under the address and undefined-behaviour sanitizers: the
# program, and every test (the views' fuzz test among them, the server tests
# against the server started above, the program's own process tests running
# the sanitized program).
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$JOBS"

# Each build's results are also written as JUnit XML, build/junit.xml and
# build-asan/junit.xml, for tools that read test results.
status=0
echo "== sanitizer build: every test"
(cd build-asan && ctest --output-on-failure --output-junit junit.xml -j "$JOBS") ||
    status=1
echo "== sanitizer build: one batch run of the program"
report="$(mktemp -d)/report.txt"
# The same sanitizer options as the tests' (tests/CMakeLists.txt says why).
if ASAN_OPTIONS=detect_leaks=1:intercept_tls_get_addr=0 QT_QPA_PLATFORM=offscreen build-asan/app/dravolt tests/data/fb3_full.txt "$report" &&
    grep -q "^Database: " "$report"; then
    echo "batch run: report written"
else
    echo "batch run: FAILED"
    status=1
fi
rm -rf "$(dirname "$report")"
echo "== full build: every test"
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --output-junit junit.xml -j "$JOBS") || status=1
exit $status
