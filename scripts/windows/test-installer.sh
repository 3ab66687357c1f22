#!/bin/bash
# Tries the installer as a user would, under Wine, in a Wine folder of its own
# made afresh: installs, checks what it laid out (program, readers, catalogue,
# Start-menu entry, uninstall entry); installs again over a changed catalogue and
# a damaged program, which must come back while the catalogue stays as it was;
# then uninstalls, which must leave the catalogue and the Access original kept
# beside it. Last, it opens the installer's window on an Italian and on an
# English system and checks it speaks each one's language.
#
#   scripts/windows/test-installer.sh dist/ondiva-VERSION-windows-x64-setup.exe
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 SETUP.exe" >&2
    exit 2
fi
setup="$(realpath "$1")"
export WINEPREFIX="${ONDIVA_QT_CACHE:-$HOME/.cache/ondiva}/wine64-installer"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
fail() { echo "test-installer: FAIL: $*" >&2; exit 1; }
step() { echo "test-installer: $*" >&2; }

rm -rf "$WINEPREFIX"
mkdir -p "$(dirname "$WINEPREFIX")"
wineboot -i >/dev/null 2>&1
wineserver -w
unix() { winepath -u "$(wine cmd /c echo "$1" 2>/dev/null | tr -d '\r')" 2>/dev/null; }
folder="$(unix '%LOCALAPPDATA%')/Programs/Ondiva"
shortcut="$(unix '%APPDATA%')/Microsoft/Windows/Start Menu/Programs/Ondiva Magazine.lnk"
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Ondiva'
install() { wine "$setup" /S >/dev/null 2>&1 || fail "the installer ended with status $?"; wineserver -w; }

step "installing into $folder"
install
for file in ondiva.exe ondiva-accessreader.exe ondiva-accessreader64.exe qt.conf qx.mdb uninstall.exe \
    plugins/platforms/qwindows.dll translations/qtbase_it.qm licenses/README.txt; do
    [ -f "$folder/$file" ] || fail "$file was not installed"
done
[ "$(head -c 15 "$folder/qx.mdb")" = "SQLite format 3" ] || fail "the installed catalogue is not a catalogue"
[ ! -e "$folder/qx.mdb.installing" ] || fail "a partial catalogue was left behind"
[ -f "$shortcut" ] || fail "no Start-menu entry"
entry="$(wine reg query "$key" 2>/dev/null | tr -d '\r')"
grep -q 'DisplayName.*Ondiva Magazine' <<<"$entry" || fail "no uninstall entry: $entry"
grep -q 'UninstallString.*uninstall.exe' <<<"$entry" || fail "the uninstall entry has no uninstaller"

step "installing again over the user's catalogue and a damaged program"
printf 'righe aggiunte dal lettore' >> "$folder/qx.mdb"
catalogue="$(sha256sum < "$folder/qx.mdb")"
program_size="$(stat -c %s "$folder/ondiva.exe")"
: > "$folder/ondiva.exe"
rm "$folder/plugins/platforms/qwindows.dll"
install
[ "$(sha256sum < "$folder/qx.mdb")" = "$catalogue" ] || fail "the reinstall changed the catalogue"
[ "$(stat -c %s "$folder/ondiva.exe")" = "$program_size" ] || fail "the reinstall did not replace the program"
[ -f "$folder/plugins/platforms/qwindows.dll" ] || fail "the reinstall did not restore a plugin"

step "uninstalling"
printf 'originale' > "$folder/qx-originale-access.mdb"
wine "$folder/uninstall.exe" /S >/dev/null 2>&1 || fail "the uninstaller ended with status $?"
wineserver -w # the uninstaller runs on from a copy of itself
for file in ondiva.exe ondiva-accessreader.exe ondiva-accessreader64.exe qt.conf uninstall.exe plugins translations \
    licenses Qt6Core.dll; do
    [ ! -e "$folder/$file" ] || fail "$file is still there after uninstalling"
done
[ "$(sha256sum < "$folder/qx.mdb")" = "$catalogue" ] || fail "uninstalling changed the catalogue"
[ -f "$folder/qx-originale-access.mdb" ] || fail "uninstalling removed the Access original"
[ ! -e "$shortcut" ] || fail "the Start-menu entry is still there"
if wine reg query "$key" >/dev/null 2>&1; then fail "the uninstall entry is still there"; fi

step "the installer's language"
# A Wine server started without a display would keep the windows off screen.
wineserver -k 2>/dev/null || true
display=":${ONDIVA_INSTALLER_DISPLAY:-42}"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'wineserver -k 2>/dev/null || true; kill "$xvfb" 2>/dev/null || true' EXIT
export DISPLAY="$display"
for language in "it_IT.UTF-8:Installazione di Ondiva Magazine" "en_US.UTF-8:Ondiva Magazine Setup"; do
    title="${language#*:}"
    LANG="${language%%:*}" LC_ALL="${language%%:*}" wine "$setup" >/dev/null 2>&1 &
    installer=$!
    shown=
    for _ in $(seq 60); do
        xdotool search --onlyvisible --name "^$title\$" >/dev/null 2>&1 && { shown=1; break; }
        sleep 0.5
    done
    wineserver -k 2>/dev/null || true
    wait "$installer" 2>/dev/null || true
    [ -n "$shown" ] || fail "no installer window titled \"$title\" on a ${language%%:*} system"
done
step "passed"
