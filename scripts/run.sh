#!/bin/sh
# Builds Dravolt (installing what is missing) and opens it on a statistics
# file: by default the bundled sample tests/data/fb3_full.txt, the real
# fbstat output of a database that scripts/make-testdata.sh creates.
#   scripts/run.sh [statistics file [report file]]
# The build goes to build/ (DRAVOLT_BUILD_DIR chooses another folder).
set -eu
cd "$(dirname "$0")/.."
BUILD="${DRAVOLT_BUILD_DIR:-build}"

scripts/setup.sh
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target dravolt

if [ $# -eq 0 ]; then
    set -- tests/data/fb3_full.txt
fi
exec "$BUILD/app/dravolt" "$@"
