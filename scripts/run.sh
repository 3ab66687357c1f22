#!/usr/bin/env bash
# Sets everything up, builds, and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2
exec "$build/bin/ondiva" "$@"
