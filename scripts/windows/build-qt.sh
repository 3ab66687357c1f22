#!/bin/bash
# Builds Qt 6.4.2 (qtbase only) for 64-bit Windows with MinGW-w64, once, into a cache
# folder outside the repository, and reuses it afterwards.
#
#   scripts/windows/build-qt.sh            # prints the Qt prefix on its last line
#   ONDIVA_QT_CACHE=/some/dir scripts/windows/build-qt.sh
#   JOBS=2 scripts/windows/build-qt.sh
#
# The source is Debian's own qt6-base (the same 6.4.2 as the host's), the host tools
# (moc, rcc, uic) are Debian's (QT_HOST_PATH=/usr), so the Windows Qt matches the host's.
# It stays on 6.4: Qt 6.5 and later crash at start-up under Wine older than 8.21.
set -euo pipefail

QT_VERSION=6.4.2
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
REPO="$(cd "$HERE/../.." && pwd)"
CACHE="${ONDIVA_QT_CACHE:-$HOME/.cache/ondiva}"
PREFIX="$CACHE/qt-$QT_VERSION-mingw64"
SRC_PARENT="$CACHE/src"
SRC="$SRC_PARENT/qtbase-$QT_VERSION"
BUILD="$CACHE/build-qt-$QT_VERSION-mingw64"
STAMP="$PREFIX/.ondiva-qt-stamp"
JOBS="${JOBS:-2}"
STAMP_TEXT="qtbase $QT_VERSION x86_64-w64-mingw32-posix prefix=$PREFIX"

log() { echo "build-qt: $*" >&2; }
# shellcheck source=debian-source.sh
. "$HERE/debian-source.sh"

# A cached Qt counts only if its stamp names this very prefix and version, and its own
# CMake files and the plugins the program needs agree.
cached_qt_is_good() {
    [ -f "$STAMP" ] || return 1
    [ "$(cat "$STAMP")" = "$STAMP_TEXT" ] || { log "stamp does not match: $(cat "$STAMP")"; return 1; }
    # Qt6CoreConfigVersion.cmake takes the version from the Impl file beside it.
    local version_file="$PREFIX/lib/cmake/Qt6Core/Qt6CoreConfigVersion.cmake"
    local version_impl="$PREFIX/lib/cmake/Qt6Core/Qt6CoreConfigVersionImpl.cmake"
    [ -f "$version_file" ] && [ -f "$version_impl" ] || { log "missing $version_file"; return 1; }
    grep -q "^set(PACKAGE_VERSION \"$QT_VERSION\")" "$version_impl" \
        || { log "$version_impl is not $QT_VERSION"; return 1; }
    local f
    for f in bin/Qt6Core.dll bin/Qt6Gui.dll bin/Qt6Widgets.dll bin/Qt6Test.dll \
             plugins/platforms/qwindows.dll plugins/platforms/qoffscreen.dll; do
        [ -f "$PREFIX/$f" ] || { log "missing $PREFIX/$f"; return 1; }
    done
}

# Qt's own translations (the standard buttons' texts) are data, the same on every
# system: Debian's qt6-translations-l10n, of the same Qt version, supplies them.
add_translations() {
    if ! dpkg-query -W -f='${Status}' qt6-translations-l10n 2>/dev/null | grep -q 'install ok installed'; then
        [ "$(id -u)" = 0 ] || { log "needs qt6-translations-l10n (run as root)"; return 1; }
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q qt6-translations-l10n >&2
    fi
    mkdir -p "$PREFIX/translations"
    cp -u /usr/share/qt6/translations/qtbase_*.qm "$PREFIX/translations/"
}

if cached_qt_is_good; then
    add_translations
    log "reusing $PREFIX"
    echo "$PREFIX"
    exit 0
fi

# --- packages --------------------------------------------------------------------------
need_packages=(dpkg-dev cmake ninja-build perl g++-mingw-w64-x86-64-posix
               qt6-base-dev qt6-base-dev-tools)
missing=()
for p in "${need_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    [ "$(id -u)" = 0 ] || { log "needs packages (run as root): ${missing[*]}"; exit 1; }
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" >&2
fi

host_qt="$(dpkg-query -W -f='${Version}' qt6-base-dev)"
case "$host_qt" in
    "$QT_VERSION"+*|"$QT_VERSION"-*) ;;
    *) log "the host's qt6-base-dev is $host_qt, not $QT_VERSION: the host tools would not match"; exit 1 ;;
esac

# --- source: Debian's qt6-base, with Debian's patches applied ---------------------------
if [ ! -f "$SRC/CMakeLists.txt" ]; then
    fetch_source qt6-base "$host_qt" "$SRC"
fi
grep -q "set(QT_REPO_MODULE_VERSION \"$QT_VERSION\")" "$SRC/.cmake.conf" \
    || { log "$SRC is not qtbase $QT_VERSION"; exit 1; }

# --- configure ---------------------------------------------------------------------------
# The toolchain file is copied next to the build: Qt records its path in the installed
# qt.toolchain.cmake, and the repository may move.
mkdir -p "$BUILD"
cp "$REPO/cmake/mingw-w64-x86_64.cmake" "$CACHE/mingw-w64-x86_64.cmake"

# Trimmed to what the program uses: Core, Gui, Widgets, Test and the windows and
# offscreen platform plugins. Tablet events are off because Debian's source lacks the
# bundled wintab header. Qt's default Windows graphics features (dynamic OpenGL,
# Direct2D, DirectWrite) stay as they are: turning OpenGL or Direct2D off alone leaves
# dynamicgl or directwrite3 on, and the windows plugin then fails to build.
configure_args=(
    -S "$SRC" -B "$BUILD" -G Ninja
    -DCMAKE_TOOLCHAIN_FILE="$CACHE/mingw-w64-x86_64.cmake"
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX="$PREFIX"
    -DQT_HOST_PATH=/usr
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DBUILD_SHARED_LIBS=ON
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DFEATURE_dbus=OFF -DFEATURE_sql=OFF -DFEATURE_network=OFF
    -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF
    -DFEATURE_tabletevent=OFF -DFEATURE_vulkan=OFF
    -DFEATURE_zstd=OFF -DFEATURE_jpeg=OFF -DFEATURE_androiddeployqt=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF
    -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF
    -DFEATURE_system_doubleconversion=OFF
)
if [ ! -f "$BUILD/build.ninja" ]; then
    log "configuring: cmake ${configure_args[*]}"
    start=$(date +%s)
    nice -n 19 cmake "${configure_args[@]}" >&2
    log "configured in $(( $(date +%s) - start )) s"
fi

# --- build and install -------------------------------------------------------------------
start=$(date +%s)
nice -n 19 cmake --build "$BUILD" --parallel "$JOBS" >&2
log "built in $(( $(date +%s) - start )) s"
rm -rf "$PREFIX"
nice -n 19 cmake --install "$BUILD" >&2
echo "$STAMP_TEXT" > "$STAMP"

cached_qt_is_good || { log "the installed Qt does not pass its own check"; exit 1; }
add_translations
# The build folder (about 1.5 GB) is needed for nothing once Qt is installed.
rm -rf "$BUILD"
log "installed $PREFIX"
echo "$PREFIX"
