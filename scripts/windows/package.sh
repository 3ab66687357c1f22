#!/bin/bash
# The Windows build from a clean clone, on Debian 12: installs the packages, gets
# Qt (from the cache, or builds it once) and SQLite's amalgamation, cross-compiles
# the program into build-windows/, runs the tests under Wine, and leaves the zip
# and the installer in dist/; then installs, upgrades and uninstalls with the
# installer under Wine and starts the unzipped program there.
#
#   scripts/windows/package.sh              # everything
#   scripts/windows/package.sh --no-tests   # build only
#
# Heavy steps run with nice -n 19 and JOBS (default 2) parallel jobs.
# ONDIVA_QT_CACHE (default ~/.cache/ondiva) holds Qt, SQLite's amalgamation and Wine's folder.
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
REPO="$(cd "$HERE/../.." && pwd)"
BUILD="${BUILD_DIR:-$REPO/build-windows}"
JOBS="${JOBS:-2}"
export JOBS
run_tests=1
for arg in "$@"; do
    case "$arg" in
        --no-tests) run_tests=0 ;;
        *) echo "usage: $0 [--no-tests]" >&2; exit 2 ;;
    esac
done

log() { echo "package: $*" >&2; }
# imports OBJDUMP FILE: the names of the DLLs FILE loads, one a line.
imports() { "$1" -p "$2" | sed -n 's/^\s*DLL Name: //p'; }
as_root=()
[ "$(id -u)" = 0 ] || as_root=(sudo)
# install_missing PACKAGE...: installs, from Debian's archive, those not installed yet.
install_missing() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -gt 0 ] || return 0
    log "installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    "${as_root[@]}" apt-get update -qq
    "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" >&2
}

# The Debian packages of the build and of the tries under Wine, and the two locales those need.
install_packages() {
    packages=(
        cmake ninja-build dpkg-dev tcl perl
        g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
        qt6-base-dev qt6-base-dev-tools qt6-translations-l10n
        wine wine64 xvfb xauth imagemagick fonts-dejavu-core nsis zip unzip xdotool x11-utils xclip sqlite3 locales
    )
    install_missing "${packages[@]}"

    # Wine takes the Windows language and the charset of file names from the Unix
    # locale: the tries under Wine run on an Italian and on an English system.
    for locale in it_IT en_US; do
        locale -a 2>/dev/null | grep -qx "$locale.utf8" || "${as_root[@]}" localedef -i "$locale" -f UTF-8 "$locale.UTF-8"
    done
}

# Qt for MinGW (from the cache, or built once) and SQLite's amalgamation: sets qt and sqlite.
get_qt_and_sqlite() {
    qt="$("$HERE/build-qt.sh" | tail -n 1)"
    sqlite="$("$HERE/build-sqlite.sh" | tail -n 1)"
    log "Qt: $qt"
    log "SQLite: $sqlite"
}

# The program, its helper and its tests, cross-compiled into $BUILD.
build_program() {
    nice -n 19 cmake -S "$REPO" -B "$BUILD" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$REPO/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DONDIVA_QT_PREFIX="$qt" \
        -DQT_HOST_PATH=/usr \
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DONDIVA_SQLITE_AMALGAMATION="$sqlite" \
        -DONDIVA_BUILD_BENCH=OFF \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$HERE/wine-run.sh;$qt" >&2
    nice -n 19 cmake --build "$BUILD" --parallel "$JOBS" >&2
}

# The 32-bit Access reader: Windows' own Access driver is 32-bit only
# ($BUILD/reader32/ondiva-accessreader.exe).
build_reader32() {
    "$HERE/build-reader32.sh" "$BUILD" >/dev/null
}

# The tests' data: they run the 64-bit reader under Wine through the host's
# unixODBC with mdbtools' driver, registered under the Windows driver's name in
# $BUILD/odbc-data/odbcinst (ODBCSYSINI); beside it the Access files they read,
# made by the Linux build's makeaccess, and what the Linux reader reads from
# each (NAME.list, NAME.dump) to compare with.
make_odbc_test_data() {
    install_missing odbc-mdbtools unixodbc mdbtools libmdb3 mdbtools-dev
    host="${HOST_BUILD_DIR:-$REPO/build}"
    [ -f "$host/CMakeCache.txt" ] || nice -n 19 cmake -S "$REPO" -B "$host" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2
    nice -n 19 cmake --build "$host" --parallel "$JOBS" --target makeaccess ondiva-accessreader demo_catalogue >&2
    data="$BUILD/odbc-data"
    rm -rf "$data"
    mkdir -p "$data/odbcinst" "$data/nodriver"
    printf '[Microsoft Access Driver (*.mdb)]\nDescription=mdbtools, under the name of the Windows driver\nDriver=%s\n' \
        "$(dpkg -L odbc-mdbtools | grep '/libmdbodbc.so$')" > "$data/odbcinst/odbcinst.ini"
    : > "$data/odbcinst/odbc.ini"
    : > "$data/nodriver/odbcinst.ini"
    : > "$data/nodriver/odbc.ini"
    cp "$REPO"/tests/data/access/*.mdb "$data/"
    "$host/bench/makeaccess" jet3 "$host/bin/qx.mdb" "$data/jet3.mdb"
    "$host/bench/makeaccess" jet4 "$host/bin/qx.mdb" "$data/jet4.mdb"
    for mdb in "$data"/*.mdb; do
        "$host/bin/ondiva-accessreader" list "$mdb" > "${mdb%.mdb}.list"
        mapfile -t tables < <(mdb-tables -1 "$mdb")
        "$host/bin/ondiva-accessreader" dump "$mdb" "${tables[@]}" > "${mdb%.mdb}.dump"
    done
}

# $BUILD/package/Ondiva, the folder the zip and the installer carry: sets stage.
stage_program_folder() {
    # build-windows/package/Ondiva: the program and its catalogue helper with the DLLs they
    # load (found by following the imports of the programs and the Qt plugins), the plugins,
    # Qt's translations, the Access readers, the licences and the demo catalogue; what the
    # zip and the installer carry.
    stage="$BUILD/package/Ondiva"
    rm -rf "$BUILD/package"
    mkdir -p "$stage/plugins/platforms" "$stage/plugins/styles" "$stage/plugins/imageformats" "$stage/translations"
    cp "$BUILD/bin/ondiva.exe" "$BUILD/bin/ondiva-catalogue.exe" "$BUILD/bin/qx.mdb" "$stage/"
    # The Access readers, tried in this order: the 32-bit one for Windows' own driver,
    # then the 64-bit one for a 64-bit Access Database Engine. Both are linked statically.
    cp "$BUILD/reader32/ondiva-accessreader.exe" "$stage/ondiva-accessreader.exe"
    cp "$BUILD/bin/ondiva-accessreader.exe" "$stage/ondiva-accessreader64.exe"
    cp "$qt/plugins/platforms/qwindows.dll" "$stage/plugins/platforms/"
    cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/plugins/styles/"
    cp "$qt/plugins/imageformats/qico.dll" "$stage/plugins/imageformats/"
    cp "$qt"/translations/qtbase_*.qm "$stage/translations/"
    printf '[Paths]\r\nPrefix = .\r\nPlugins = plugins\r\nTranslations = translations\r\n' > "$stage/qt.conf"
    gcc_dlls="$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")"
    dll_dirs=("$qt/bin" "$gcc_dlls" /usr/x86_64-w64-mingw32/lib)
    pending=("$stage"/*.exe "$stage"/plugins/*/*.dll)
    while [ ${#pending[@]} -gt 0 ]; do
        file="${pending[0]}"
        pending=("${pending[@]:1}")
        objdump="x86_64-w64-mingw32-objdump"
        [[ "$file" == */ondiva-accessreader.exe ]] && objdump="i686-w64-mingw32-objdump"
        while read -r dll; do
            [ -e "$stage/$dll" ] && continue
            for dir in "${dll_dirs[@]}"; do
                if [ -f "$dir/$dll" ]; then
                    [ "$objdump" = "x86_64-w64-mingw32-objdump" ] || { log "the 32-bit reader needs $dll"; exit 1; }
                    cp "$dir/$dll" "$stage/"
                    pending+=("$stage/$dll")
                    break
                fi
            done # a DLL found in none of them is Windows' own
        done < <(imports "$objdump" "$file")
    done
    # No debugging information in what users download.
    for file in "$stage"/*.exe "$stage"/*.dll "$stage"/plugins/*/*.dll; do
        case "$file" in
            */ondiva-accessreader.exe) i686-w64-mingw32-strip --strip-unneeded "$file" ;;
            *) x86_64-w64-mingw32-strip --strip-unneeded "$file" ;;
        esac
    done
    "$HERE/licenses.sh" "$stage/licenses"
    log "program folder: $stage ($(du -sm "$stage" | cut -f1) MB)"
}

# catalogue-tool.nsh: the helper the installer runs before it installs anything, with the DLLs it loads.
write_catalogue_tool_list() {
    # The installer decides about the catalogue with the program's own code, ondiva-catalogue,
    # before it installs anything: the helper and the DLLs of the program folder it loads
    # (its imports followed as above) go into catalogue-tool.nsh, whose ONDIVA_CATALOGUE_TOOL
    # extracts them into $PLUGINSDIR.
    tool=(ondiva-catalogue.exe)
    for ((i = 0; i < ${#tool[@]}; i++)); do
        while read -r dll; do
            [ -f "$stage/$dll" ] || continue # Windows' own
            [[ " ${tool[*]} " == *" $dll "* ]] || tool+=("$dll")
        done < <(imports x86_64-w64-mingw32-objdump "$stage/${tool[$i]}")
    done
    {
        echo "; Made by scripts/windows/package.sh: the catalogue helper and the DLLs it loads"
        echo "!macro ONDIVA_CATALOGUE_TOOL"
        for file in "${tool[@]}"; do echo "    File \"/oname=\$PLUGINSDIR\\$file\" \"$stage/$file\""; done
        echo "!macroend"
    } > "$BUILD/catalogue-tool.nsh"
    log "catalogue helper for the installer: ${tool[*]}"
}

# The test suite under Wine.
run_tests_under_wine() {
    # Wine's folder is made before the tests start, not by several of them at once.
    "$HERE/wine-run.sh" "$qt" cmd /c exit 0 >/dev/null 2>&1 || true
    nice -n 19 ctest --test-dir "$BUILD" --output-on-failure -j"$JOBS"
}

# dist/ondiva-VERSION-windows-x64.zip, checked to unpack to the program folder: sets name, dist and size_kb.
make_zip() {
    version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD/CMakeCache.txt")"
    name="ondiva-$version-windows-x64"
    dist="$REPO/dist"
    mkdir -p "$dist"
    size_kb="$(du -sk "$stage" | cut -f1)"
    limit_kb=$((40 * 1024))
    [ "$size_kb" -le "$limit_kb" ] || { log "the program folder is ${size_kb} KiB, over ${limit_kb} KiB"; exit 1; }
    # Each is made under a temporary name and checked before it takes its own.
    rm -f "$dist/$name.zip.partial"
    (cd "$BUILD/package" && zip -q -r -9 -X "$dist/$name.zip.partial" Ondiva)
    check="$(mktemp -d)"
    unzip -q "$dist/$name.zip.partial" -d "$check"
    diff -r "$stage" "$check/Ondiva" >&2 || { log "the zip does not unpack to the program folder"; exit 1; }
    rm -rf "$check"
    mv -f "$dist/$name.zip.partial" "$dist/$name.zip"
}

# dist/ondiva-VERSION-windows-x64-setup.exe, naming each file it installs.
make_installer() {
    rm -f "$dist/$name-setup.exe.partial"
    # The installer names each file it installs, and its uninstaller deletes those names only.
    "$HERE/installer-files.sh" "$stage" "$BUILD/installer-files.nsh"
    makensis -V2 -DVERSION="$version" -DSOURCE="$stage" -DFILES="$BUILD/installer-files.nsh" -DTOOL="$BUILD/catalogue-tool.nsh" \
        -DICON="$BUILD/packaging/ondiva.ico" -DSIZE_KB="$size_kb" -DOUTFILE="$dist/$name-setup.exe.partial" \
        "$REPO/packaging/windows/ondiva.nsi" >&2
    mv -f "$dist/$name-setup.exe.partial" "$dist/$name-setup.exe"
    log "zip: $dist/$name.zip ($(du -k "$dist/$name.zip" | cut -f1) KiB, $size_kb KiB unpacked)"
    log "installer: $dist/$name-setup.exe ($(du -k "$dist/$name-setup.exe" | cut -f1) KiB)"
}

# The installer installed, upgraded and uninstalled under Wine, and the unzipped program driven there.
try_installer_and_program() {
    "$HERE/test-installer.sh" "$dist/$name-setup.exe"
    "$HERE/smoke.sh" "$dist/$name.zip" "$BUILD/odbc-data"
}

# --- the stages, in order -----------------------------------------------------------------
install_packages
get_qt_and_sqlite
build_program
build_reader32
if [ "$run_tests" = 1 ]; then make_odbc_test_data; fi
stage_program_folder
write_catalogue_tool_list
if [ "$run_tests" = 1 ]; then run_tests_under_wine; fi
make_zip
make_installer
if [ "$run_tests" = 1 ]; then try_installer_and_program; fi
