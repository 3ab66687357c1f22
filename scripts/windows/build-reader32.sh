#!/bin/bash
# Builds the 32-bit Windows Access reader, which Windows' own Access ODBC driver
# (32-bit only) needs: no Qt, no SQLite, just the reader.
#
#   scripts/windows/build-reader32.sh BUILD_DIR   # leaves BUILD_DIR/reader32/ondiva-accessreader.exe
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 BUILD_DIR" >&2
    exit 2
fi
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
REPO="$(cd "$HERE/../.." && pwd)"
out="$1/reader32"
work="$1/reader32-build"

nice -n 19 cmake -S "$REPO" -B "$work" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$REPO/cmake/mingw-w64-i686.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DONDIVA_READER_ONLY=ON >&2
nice -n 19 cmake --build "$work" --parallel "${JOBS:-2}" --target ondiva-accessreader >&2
mkdir -p "$out"
cp "$work/bin/ondiva-accessreader.exe" "$out/"
echo "$out/ondiva-accessreader.exe"
