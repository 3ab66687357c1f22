#!/bin/bash
# Makes SQLite's amalgamation (sqlite3.c, sqlite3.h, and the shell's shell.c) from
# Debian's own sqlite3 source, with Debian's patches, once, into a cache folder
# outside the repository. The Windows build compiles it into the program.
#
#   scripts/windows/build-sqlite.sh        # prints the amalgamation's folder on its last line
set -euo pipefail

SQLITE_VERSION=3.40.1
CACHE="${ONDIVA_QT_CACHE:-$HOME/.cache/ondiva}"
OUT="$CACHE/sqlite-$SQLITE_VERSION-amalgamation"
SRC_PARENT="$CACHE/src"
STAMP="$OUT/.ondiva-sqlite-stamp"
STAMP_TEXT="sqlite $SQLITE_VERSION amalgamation from Debian's sqlite3 source"

log() { echo "build-sqlite: $*" >&2; }
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=debian-source.sh
. "$HERE/debian-source.sh"

cached_is_good() {
    [ -f "$STAMP" ] && [ "$(cat "$STAMP")" = "$STAMP_TEXT" ] || return 1
    local f
    for f in sqlite3.c sqlite3.h shell.c; do [ -s "$OUT/$f" ] || return 1; done
    grep -q "^#define SQLITE_VERSION *\"$SQLITE_VERSION\"" "$OUT/sqlite3.h"
}

if cached_is_good; then
    echo "$OUT"
    exit 0
fi

# The amalgamation is made by Tcl scripts and two small host tools (lemon, mkkeywordhash).
missing=()
for p in dpkg-dev tcl gcc make libsqlite3-0; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    [ "$(id -u)" = 0 ] || { log "needs packages (run as root): ${missing[*]}"; exit 1; }
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" >&2
fi

src="$SRC_PARENT/sqlite3-$SQLITE_VERSION"
if [ ! -f "$src/configure" ]; then
    # The version of Debian's libsqlite3, which the Linux build links.
    fetch_source sqlite3 "$(dpkg-query -W -f='${Version}' libsqlite3-0)" "$src"
fi

build="$SRC_PARENT/sqlite-build"
rm -rf "$build"
mkdir -p "$build"
(cd "$build" && nice -n 19 "$src/configure" >&2 && nice -n 19 make sqlite3.c shell.c >&2)
mkdir -p "$OUT"
cp "$build/sqlite3.c" "$build/sqlite3.h" "$build/sqlite3ext.h" "$build/shell.c" "$OUT/"
echo "$STAMP_TEXT" > "$STAMP"
cached_is_good || { log "the amalgamation in $OUT is not SQLite $SQLITE_VERSION"; exit 1; }
rm -rf "$build"
echo "$OUT"
