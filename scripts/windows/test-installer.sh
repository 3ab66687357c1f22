#!/bin/bash
# Tries the installer as a user would, under Wine, on an Italian system in a
# Wine folder of its own made afresh, with the catalogue of an earlier version
# in C:\users\…\Documenti\Niccolò\vecchio Ondiva:
#   1. silent installs naming with /CATALOGUE= a file that is no catalogue, an
#      Access 2007 file or none at all end with status 2, having written nothing;
#   2. a silent install with /CATALOGUE= naming the Access qx.mdb (quoted whole,
#      as Windows quotes an argument) lays out the program, its Start-menu and
#      uninstall entries, and a byte-identical copy of the catalogue, the
#      source untouched, though a qx.ldb lies beside it; the program's first
#      start shows its question about converting, and changes nothing unanswered;
#   3. installing again, naming another catalogue, over a changed catalogue and a
#      damaged program: the program comes back, the catalogue stays as it was;
#   4. uninstalling leaves the catalogue and the Access original kept beside it;
#   5. without /CATALOGUE= the demo catalogue goes in;
#   6. /CATALOGUE="path" (the path quoted) and /D= into a folder that already
#      holds other files: the copy is the source's bytes, and uninstalling
#      leaves those files and the catalogue.
# Last, it opens the installer's window on an Italian and on an English system,
# checks it speaks each one's language and goes to the catalogue page, with the
# earlier catalogue, a file that is not one, and a catalogue installed already,
# leaving screenshots in SHOTS_DIR (default build-windows/shots).
#
#   scripts/windows/test-installer.sh dist/ondiva-VERSION-windows-x64-setup.exe [SHOTS_DIR]
set -euo pipefail

if [ $# -lt 1 ]; then
    echo "usage: $0 SETUP.exe [SHOTS_DIR]" >&2
    exit 2
fi
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
setup="$(realpath "$1")"
shots="$(realpath -m "${2:-$HERE/../../build-windows/shots}")"
access="$HERE/../../tests/data/access"
export WINEPREFIX="${ONDIVA_QT_CACHE:-$HOME/.cache/ondiva}/wine64-installer"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# An Italian system: file names with accents reach Wine as UTF-8, and its cmd
# reads batch files in code page 850.
export LANG=it_IT.UTF-8 LC_ALL=it_IT.UTF-8
fail() { echo "test-installer: FAIL: $*" >&2; exit 1; }
step() { echo "test-installer: $*" >&2; }

# A virtual screen from the start: a Wine server started without a display would
# keep the windows off screen.
display=":${ONDIVA_INSTALLER_DISPLAY:-42}"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'wineserver -k 2>/dev/null || true; kill "$xvfb" 2>/dev/null || true' EXIT
export DISPLAY="$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

rm -rf "$WINEPREFIX"
mkdir -p "$(dirname "$WINEPREFIX")" "$shots"
wineboot -i >/dev/null 2>&1
wineserver -w
profile_win="$(wine cmd /c echo '%USERPROFILE%' 2>/dev/null | tr -d '\r')"
profile="$(winepath -u "$profile_win")"
unix() { winepath -u "$(wine cmd /c echo "$1" 2>/dev/null | tr -d '\r')" 2>/dev/null; }
folder="$(unix '%LOCALAPPDATA%')/Programs/Ondiva"
shortcut="$(unix '%APPDATA%')/Microsoft/Windows/Start Menu/Programs/Ondiva Magazine.lnk"
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Ondiva'
registered() { wine reg query "$key" >/dev/null 2>&1; }
# run ARGUMENT...: the installer, each argument quoted as Windows quotes it
# (whole, when it holds a space); its status.
run() {
    local status=0
    wine "$setup" "$@" >/dev/null 2>&1 || status=$?
    wineserver -w
    return "$status"
}
install() { run /S "$@" || fail "the installer ended with status $?"; }
# typed LINE: the installer with the arguments exactly as typed after its name in cmd.
typed() {
    printf '@"%s" %s\r\n@exit %%ERRORLEVEL%%\r\n' "$(winepath -w "$setup")" "$1" | iconv -f UTF-8 -t CP850 \
        > "$WINEPREFIX/drive_c/install.bat"
    wine cmd /c 'C:\install.bat' >/dev/null 2>&1 || fail "the installer ended with status $? for: $1"
    wineserver -w
}
uninstall() {
    wine "$1/uninstall.exe" /S >/dev/null 2>&1 || fail "the uninstaller ended with status $?"
    wineserver -w # the uninstaller runs on from a copy of itself
}
# The files of the program, some in folders of their own.
program=(ondiva.exe ondiva-accessreader.exe ondiva-accessreader64.exe qt.conf Qt6Core.dll uninstall.exe
    plugins/platforms/qwindows.dll translations/qtbase_it.qm licenses/README.txt)

old="$profile/Documenti/Niccolò/vecchio Ondiva"
old_win="$profile_win\\Documenti\\Niccolò\\vecchio Ondiva"
mkdir -p "$old"
cp "$access/testIndexCodesV1997.mdb" "$old/qx.mdb"           # Access 97
cp "$access/testUnicodeCompV2003.mdb" "$old/qx-2003.mdb"     # Access 2003
cp "$access/NOTICE.md" "$old/"
printf 'Prova' > "$old/qx.ldb" # the earlier program's lock: a silent install goes on
printf 'appunti, non un catalogo' > "$old/appunti.txt"
{ printf '\0\1\0\0Standard ACE DB\0\2\0\0\0'; head -c 4096 /dev/zero; } > "$old/access2007.mdb"
sources="$(cd "$old" && sha256sum qx.mdb qx-2003.mdb)"

step "a /CATALOGUE= file that cannot be used: nothing installed"
for file in appunti.txt access2007.mdb manca.mdb; do
    status=0
    run /S "/CATALOGUE=$old_win\\$file" || status=$?
    [ "$status" = 2 ] || fail "the install with $file ended with status $status, not 2"
    [ ! -e "$folder" ] || fail "the install with $file left $(ls -A "$folder")"
    ! registered || fail "the install with $file left an uninstall entry"
done

step "installing into $folder with the catalogue of an earlier version"
install "/CATALOGUE=$old_win\\qx.mdb"
for file in "${program[@]}"; do
    [ -f "$folder/$file" ] || fail "$file was not installed"
done
cmp "$old/qx.mdb" "$folder/qx.mdb" || fail "the installed catalogue is not a copy of the earlier one"
[ "$(cd "$old" && sha256sum qx.mdb qx-2003.mdb)" = "$sources" ] || fail "the earlier catalogues changed"
[ ! -e "$folder/qx.mdb.installing" ] || fail "a partial catalogue was left behind"
[ -f "$shortcut" ] || fail "no Start-menu entry"
entry="$(wine reg query "$key" 2>/dev/null | tr -d '\r')"
grep -q 'DisplayName.*Ondiva Magazine' <<<"$entry" || fail "no uninstall entry: $entry"
grep -q 'UninstallString.*uninstall.exe' <<<"$entry" || fail "the uninstall entry has no uninstaller"
# shown SECONDS TITLE: whether a window so titled shows within that time.
shown() {
    for _ in $(seq $(($1 * 2))); do
        xdotool search --onlyvisible --name "$2" >/dev/null 2>&1 && return 0
        sleep 0.5
    done
    return 1
}
step "the program's first start asks about converting the catalogue"
wine "$folder/ondiva.exe" >/dev/null 2>&1 &
started=$!
shown 90 '^Ondiva Magazine Database Search Engine' || fail "the installed program showed no window"
sleep 2
import -window root "$shots/installed-first-start.png"
step "screenshot $shots/installed-first-start.png"
wineserver -k 2>/dev/null || true
wait "$started" 2>/dev/null || true
cmp "$old/qx.mdb" "$folder/qx.mdb" || fail "the program changed the catalogue before an answer"

step "installing again, naming another catalogue, over the user's catalogue and a damaged program"
printf 'righe aggiunte dal lettore' >> "$folder/qx.mdb"
catalogue="$(sha256sum < "$folder/qx.mdb")"
program_size="$(stat -c %s "$folder/ondiva.exe")"
: > "$folder/ondiva.exe"
rm "$folder/plugins/platforms/qwindows.dll"
install "/CATALOGUE=$old_win\\qx-2003.mdb"
[ "$(sha256sum < "$folder/qx.mdb")" = "$catalogue" ] || fail "the reinstall changed the catalogue"
[ "$(stat -c %s "$folder/ondiva.exe")" = "$program_size" ] || fail "the reinstall did not replace the program"
[ -f "$folder/plugins/platforms/qwindows.dll" ] || fail "the reinstall did not restore a plugin"

step "uninstalling"
printf 'originale' > "$folder/qx-originale-access.mdb"
uninstall "$folder"
for file in "${program[@]}" plugins translations licenses; do
    [ ! -e "$folder/$file" ] || fail "$file is still there after uninstalling"
done
[ "$(sha256sum < "$folder/qx.mdb")" = "$catalogue" ] || fail "uninstalling changed the catalogue"
[ -f "$folder/qx-originale-access.mdb" ] || fail "uninstalling removed the Access original"
[ ! -e "$shortcut" ] || fail "the Start-menu entry is still there"
! registered || fail "the uninstall entry is still there"

step "installing with the demo catalogue"
install "/D=$profile_win\\Demo"
[ "$(head -c 16 "$profile/Demo/qx.mdb" | tr '\0' '.')" = "SQLite format 3." ] || fail "the demo catalogue is not a catalogue"

step "installing into a folder that holds other files, the path after /CATALOGUE= quoted"
shared="$profile/Programmi miei"
mkdir -p "$shared/plugins"
printf 'di un altro' > "$shared/other.dll"
printf 'mio' > "$shared/plugins/mine.txt"
printf 'note' > "$shared/notes.txt"
others="$(cd "$shared" && sha256sum other.dll plugins/mine.txt notes.txt)"
typed "/S /CATALOGUE=\"$old_win\\qx-2003.mdb\" /D=$profile_win\\Programmi miei"
cmp "$old/qx-2003.mdb" "$shared/qx.mdb" || fail "the catalogue installed is not a copy of the one named"
[ -f "$shared/ondiva.exe" ] || fail "the program was not installed into the folder named"
uninstall "$shared"
[ "$(cd "$shared" && sha256sum other.dll plugins/mine.txt notes.txt)" = "$others" ] ||
    fail "uninstalling removed or changed files the installer did not put there"
cmp "$old/qx-2003.mdb" "$shared/qx.mdb" || fail "uninstalling changed the catalogue"
for file in "${program[@]}" plugins/platforms translations licenses; do
    [ ! -e "$shared/$file" ] || fail "$file is still there after uninstalling from a shared folder"
done
[ "$(ls -A "$shared" | sort | tr '\n' ' ')" = "notes.txt other.dll plugins qx.mdb " ] ||
    fail "uninstalling left in the shared folder: $(ls -A "$shared")"

step "the installer's language and its catalogue page"
# window LOCALE TITLE NAME KEYS ARGUMENT...: opens the installer on a system of
# that locale, checks its window's title, presses Enter twice (welcome, folder)
# to reach the catalogue page, then KEYS (none: "-"), and takes a screenshot.
window() {
    local locale="$1" title="$2" name="$3" keys="$4" id= installer
    LANG="$locale" LC_ALL="$locale" wine "$setup" "${@:5}" >/dev/null 2>&1 &
    installer=$!
    shown 30 "^$title\$" || fail "no installer window titled \"$title\" on a $locale system"
    id="$(xdotool search --onlyvisible --name "^$title\$" | head -n 1)"
    for key in Return Return ${keys/-/}; do
        sleep 1.5
        timeout 5 xdotool windowfocus "$id" >/dev/null 2>&1 || true
        xdotool key "$key"
    done
    sleep 1.5
    import -window root "$shots/$name.png"
    step "screenshot $shots/$name.png"
    wineserver -k 2>/dev/null || true
    wait "$installer" 2>/dev/null || true
}
for system in "it_IT.UTF-8:Installazione di Ondiva Magazine:it" "en_US.UTF-8:Ondiva Magazine Setup:en"; do
    IFS=: read -r locale title language <<<"$system"
    window "$locale" "$title" "installer-catalogue-$language" - "/D=$profile_win\\Nuova"
    window "$locale" "$title" "installer-in-use-$language" Return "/CATALOGUE=$old_win\\qx.mdb" "/D=$profile_win\\Nuova"
    window "$locale" "$title" "installer-refused-$language" Return "/CATALOGUE=$old_win\\appunti.txt" "/D=$profile_win\\Nuova"
    window "$locale" "$title" "installer-kept-$language" - "/D=$profile_win\\Demo"
done
[ ! -e "$profile/Nuova" ] || fail "a window closed before installing left files in $profile/Nuova"
step "passed"
