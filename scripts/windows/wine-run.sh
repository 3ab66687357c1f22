#!/bin/bash
# Runs a program of the Windows build under Wine, finding Qt's and MinGW's DLLs.
# CTest and the build use it as CMAKE_CROSSCOMPILING_EMULATOR; by hand:
#
#   scripts/windows/wine-run.sh QT_PREFIX build-windows/bin/ondiva.exe
set -euo pipefail

qt="$1"
shift

# A Unix path as Wine sees it on its Z: drive, which is the Unix root.
winpath() { local p="$1"; echo "Z:${p//\//\\}"; }

export WINEPREFIX="${WINEPREFIX:-${ONDIVA_QT_CACHE:-$HOME/.cache/ondiva}/wine64}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installer dialogs: the program needs neither.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

# A new Wine folder is made once, by one caller, before any test uses it.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    flock "$WINEPREFIX.lock" sh -c '[ -f "$WINEPREFIX/system.reg" ] || { wineboot -i && wineserver -w; }' >&2
fi

gcc_dlls="$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")"
export WINEPATH="$(winpath "$qt/bin");$(winpath "$gcc_dlls");$(winpath /usr/x86_64-w64-mingw32/lib)${WINEPATH:+;$WINEPATH}"
# The offscreen platform draws text with FreeType from a font folder, and a
# Windows system has none where Qt looks for it.
export QT_QPA_FONTDIR="${QT_QPA_FONTDIR:-$(winpath /usr/share/fonts/truetype/dejavu)}"

# Without a console Qt sends its messages, and Qt Test its results, to the
# debugger's channel, which nobody reads here: keep them on the standard streams.
export QT_FORCE_STDERR_LOGGING="${QT_FORCE_STDERR_LOGGING:-1}"

# Wine keeps QT_* variables of the Unix environment away from Windows programs
# and passes WINEQT_* ones on under the QT_* name instead.
while IFS= read -r name; do
    export "WINE$name=${!name}"
done < <(compgen -e | grep '^QT_' || true)

exec wine "$@"
