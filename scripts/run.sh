#!/usr/bin/env bash
# Sets everything up, builds, and starts the program on the bundled catalogue.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh
exec "${BUILD_DIR:-build}/bin/ondiva"
