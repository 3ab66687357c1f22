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
#      start asks about converting (the question's text, copied with Ctrl+C,
#      says the catalogue is an Access file), and changes nothing unanswered;
#   3. installing again, naming another catalogue, over that catalogue (now the
#      user's own, changed) and a damaged program: the program comes back, the
#      catalogue stays as it was, the install ends with status 3 and install.log
#      says why;
#   4. uninstalling leaves the catalogue and the Access original kept beside it;
#   5. without /CATALOGUE= the demo catalogue goes in, the staged one byte for
#      byte; a silent /CATALOGUE= over that untouched demo catalogue brings the
#      file named, byte for byte;
#   6. /CATALOGUE="path" (the path quoted) and /D= into a folder that already
#      holds other files: the copy is the source's bytes, and uninstalling
#      leaves those files and the catalogue;
#   7. an upgrade: a file an earlier version listed in installed-files.txt and
#      this one no longer ships is deleted, with its folder once empty; a file
#      no list names, the catalogue, and listed names that leave the folder,
#      hold wildcards or name a catalogue stay, through the uninstall too;
#   8. the catalogue page, driven with the keyboard: in an empty folder the demo
#      catalogue (the staged one, byte for byte); over the untouched demo, kept
#      as it is, or the earlier catalogue typed in brought byte for byte; over
#      the user's own catalogue, only keeping it, which changes nothing.
# Last, it opens the installer's window on an Italian and on an English system,
# checks it speaks each one's language and goes to the catalogue page, with the
# earlier catalogue (a lock file beside it), a file that is not one, an Access
# 2007 file, a catalogue with an unfinished journal, the untouched demo
# catalogue and a catalogue of the user's own installed already, leaving
# screenshots in SHOTS_DIR (default build-windows/shots).
#
#   scripts/windows/test-installer.sh dist/ondiva-VERSION-windows-x64-setup.exe [SHOTS_DIR]
#
# The demo catalogue the installer carries is compared with the staged one,
# ONDIVA_DEMO_CATALOGUE (default build-windows/package/Ondiva/qx.mdb).
set -euo pipefail

if [ $# -lt 1 ]; then
    echo "usage: $0 SETUP.exe [SHOTS_DIR]" >&2
    exit 2
fi
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
setup="$(realpath "$1")"
shots="$(realpath -m "${2:-$HERE/../../build-windows/shots}")"
access="$HERE/../../tests/data/access"
demo="$(realpath -m "${ONDIVA_DEMO_CATALOGUE:-$HERE/../../build-windows/package/Ondiva/qx.mdb}")"
export WINEPREFIX="${ONDIVA_QT_CACHE:-$HOME/.cache/ondiva}/wine64-installer"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# An Italian system: file names with accents reach Wine as UTF-8, and its cmd
# reads batch files in code page 850.
export LANG=it_IT.UTF-8 LC_ALL=it_IT.UTF-8
fail() { echo "test-installer: FAIL: $*" >&2; exit 1; }
step() { echo "test-installer: $*" >&2; }
[ -f "$demo" ] || fail "no staged demo catalogue at $demo (ONDIVA_DEMO_CATALOGUE)"
command -v xclip >/dev/null || fail "xclip is not installed (package xclip)"

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
# installs ARGUMENT...: a silent install that must end with STATUS (the first argument).
installs() {
    local expected="$1" status=0
    shift
    run /S "$@" || status=$?
    [ "$status" = "$expected" ] || fail "the install with $* ended with status $status, not $expected"
}
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
program=(ondiva.exe ondiva-catalogue.exe ondiva-accessreader.exe ondiva-accessreader64.exe qt.conf Qt6Core.dll
    uninstall.exe installed-files.txt plugins/platforms/qwindows.dll translations/qtbase_it.qm licenses/README.txt)

old="$profile/Documenti/Niccolò/vecchio Ondiva"
old_win="$profile_win\\Documenti\\Niccolò\\vecchio Ondiva"
mkdir -p "$old"
cp "$access/testIndexCodesV1997.mdb" "$old/qx.mdb"           # Access 97
cp "$access/testUnicodeCompV2003.mdb" "$old/qx-2003.mdb"     # Access 2003
cp "$access/NOTICE.md" "$old/"
printf 'Prova' > "$old/qx.ldb" # the earlier program's lock: a silent install goes on
printf 'appunti, non un catalogo' > "$old/appunti.txt"
{ printf '\0\1\0\0Standard ACE DB\0\2\0\0\0'; head -c 4096 /dev/zero; } > "$old/access2007.mdb"
cp "$demo" "$old/giornale.mdb" # a catalogue of this program with the journal of an unfinished change
printf 'modifica a metà' > "$old/giornale.mdb-journal"
sources="$(cd "$old" && sha256sum qx.mdb qx-2003.mdb)"

step "a /CATALOGUE= file that cannot be used: nothing installed"
for file in appunti.txt access2007.mdb manca.mdb giornale.mdb; do
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
# The list of installed files: each name relative, each file there, no catalogue.
tr -d '\r' < "$folder/installed-files.txt" | tr '\\' / | while IFS= read -r name; do
    case "$name" in /* | *:* | *..* | *.mdb*) fail "installed-files.txt lists $name" ;; esac
    [ -f "$folder/$name" ] || fail "installed-files.txt lists $name, which is not there"
done
grep -qx 'ondiva.exe.\?' "$folder/installed-files.txt" || fail "installed-files.txt does not list ondiva.exe"
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
# says SECONDS TITLE TEXT: whether a window so titled shows TEXT within that
# time. A Qt message box copies its text to the clipboard on Ctrl+C, and Wine
# hands the clipboard on to X; the windows of that title are tried in turn,
# since a question has its main window's title. What was copied last is in $copied.
copied=
says() {
    local id
    copied=
    printf '' | xclip -selection clipboard >/dev/null 2>&1 # nothing left from an earlier check
    for _ in $(seq "$1"); do
        for id in $(xdotool search --onlyvisible --name "$2" 2>/dev/null); do
            timeout 5 xdotool windowfocus "$id" >/dev/null 2>&1 || true
            xdotool key ctrl+c
            sleep 0.5
            copied="$(timeout 5 xclip -o -selection clipboard 2>/dev/null || true)"
            grep -qF "$3" <<<"$copied" && return 0
        done
        sleep 1
    done
    return 1
}
step "the program's first start asks about converting the catalogue"
wine "$folder/ondiva.exe" >/dev/null 2>&1 &
started=$!
title='^Ondiva Magazine Database Search Engine'
shown 90 "$title" || fail "the installed program showed no window"
# The question has the main window's title: it is told by its text.
says 60 "$title" 'è un file di Microsoft Access' ||
    fail "no window of the installed program asks about converting an Access catalogue (last copied: ${copied:-nothing})"
import -window root "$shots/installed-first-start.png"
step "screenshot $shots/installed-first-start.png"
wineserver -k 2>/dev/null || true
wait "$started" 2>/dev/null || true
cmp "$old/qx.mdb" "$folder/qx.mdb" || fail "the program changed the catalogue before an answer"

step "installing again, naming another catalogue, over the user's catalogue and a damaged program: status 3"
printf 'righe aggiunte dal lettore' >> "$folder/qx.mdb"
catalogue="$(sha256sum < "$folder/qx.mdb")"
program_size="$(stat -c %s "$folder/ondiva.exe")"
: > "$folder/ondiva.exe"
rm "$folder/plugins/platforms/qwindows.dll"
installs 3 "/CATALOGUE=$old_win\\qx-2003.mdb"
[ "$(sha256sum < "$folder/qx.mdb")" = "$catalogue" ] || fail "the reinstall changed the catalogue"
[ "$(stat -c %s "$folder/ondiva.exe")" = "$program_size" ] || fail "the reinstall did not replace the program"
[ -f "$folder/plugins/platforms/qwindows.dll" ] || fail "the reinstall did not restore a plugin"
[ -f "$folder/install.log" ] || fail "the install kept the catalogue and wrote no install.log"
log="$(iconv -f UTF-16 -t UTF-8 "$folder/install.log" | tr -d '\r')"
grep -qF "$old_win\\qx-2003.mdb non è stato copiato" <<<"$log" || fail "install.log does not say the catalogue named was not copied: $log"
grep -q "catalogo dell'utente" <<<"$log" || fail "install.log does not say the catalogue there is the user's own: $log"
grep -qx 'install.log.\?' "$folder/installed-files.txt" || fail "install.log is not among the installed files"

step "uninstalling"
printf 'originale' > "$folder/qx-originale-access.mdb"
uninstall "$folder"
for file in "${program[@]}" plugins translations licenses; do
    [ ! -e "$folder/$file" ] || fail "$file is still there after uninstalling"
done
[ ! -e "$folder/install.log" ] || fail "install.log is still there after uninstalling"
[ "$(sha256sum < "$folder/qx.mdb")" = "$catalogue" ] || fail "uninstalling changed the catalogue"
[ -f "$folder/qx-originale-access.mdb" ] || fail "uninstalling removed the Access original"
[ ! -e "$shortcut" ] || fail "the Start-menu entry is still there"
! registered || fail "the uninstall entry is still there"

step "installing with the demo catalogue"
install "/D=$profile_win\\Demo"
cmp "$demo" "$profile/Demo/qx.mdb" || fail "the demo catalogue installed is not the staged one"

step "a silent /CATALOGUE= over the untouched demo catalogue brings the file named"
install "/D=$profile_win\\Portato"
cmp "$demo" "$profile/Portato/qx.mdb" || fail "the demo catalogue installed is not the staged one"
installs 0 "/CATALOGUE=$old_win\\qx-2003.mdb" "/D=$profile_win\\Portato"
cmp "$old/qx-2003.mdb" "$profile/Portato/qx.mdb" || fail "the catalogue named did not take the demo catalogue's place"
[ "$(cd "$old" && sha256sum qx.mdb qx-2003.mdb)" = "$sources" ] || fail "the earlier catalogues changed"
[ ! -e "$profile/Portato/install.log" ] || fail "a catalogue brought in wrote install.log"

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

step "an upgrade deletes what the earlier version listed and this one no longer ships, and nothing else"
upgrade="$profile/Aggiornamento"
install "/D=$profile_win\\Aggiornamento"
mkdir -p "$upgrade/plugins/vecchi"
printf 'vecchio' > "$upgrade/old-plugin.dll"
printf 'vecchio' > "$upgrade/plugins/vecchi/old-style.dll"
printf 'mio' > "$upgrade/mine.txt"
printf 'originale' > "$upgrade/qx-originale-access.mdb"
printf 'fuori' > "$profile/fuori.txt"
printf 'righe mie' >> "$upgrade/qx.mdb"
kept="$(cd "$upgrade" && sha256sum qx.mdb qx-originale-access.mdb mine.txt ../fuori.txt)"
# listed NAME...: adds the names to the list of installed files, as an earlier version would have.
listed() { printf '%s\r\n' "$@" >> "$upgrade/installed-files.txt"; }
# Names that must never be deleted: outside the folder, wildcards, catalogues and the lock.
dangerous=('..\fuori.txt' "$profile_win\\fuori.txt" '\fuori.txt' 'plugins\..\..\fuori.txt' '*.txt' 'mine.t?t'
    qx.mdb QX.MDB qx.mdb. qx-originale-access.mdb qx.mdb.lock)
listed old-plugin.dll 'plugins\vecchi\old-style.dll' "${dangerous[@]}"
install "/D=$profile_win\\Aggiornamento"
[ ! -e "$upgrade/old-plugin.dll" ] || fail "the upgrade left old-plugin.dll, which the earlier version listed"
[ ! -e "$upgrade/plugins/vecchi" ] || fail "the upgrade left the folder of a file the earlier version listed"
[ "$(cd "$upgrade" && sha256sum qx.mdb qx-originale-access.mdb mine.txt ../fuori.txt)" = "$kept" ] ||
    fail "the upgrade deleted or changed a file no list names, the catalogue or a file outside the folder"
for file in "${program[@]}"; do
    [ -f "$upgrade/$file" ] || fail "$file is not there after the upgrade"
done
! grep -qi 'old-plugin\|\.mdb\|fuori' "$upgrade/installed-files.txt" || fail "the upgrade's list keeps names it did not install"
listed "${dangerous[@]}"
uninstall "$upgrade"
[ "$(cd "$upgrade" && sha256sum qx.mdb qx-originale-access.mdb mine.txt ../fuori.txt)" = "$kept" ] ||
    fail "uninstalling deleted or changed a file no list names, the catalogue or a file outside the folder"
[ "$(ls -A "$upgrade" | LC_ALL=C sort | tr '\n' ' ')" = "mine.txt qx-originale-access.mdb qx.mdb " ] ||
    fail "uninstalling after the upgrade left: $(ls -A "$upgrade")"

# page NAME KEYS TEXT ARGUMENT...: the installer's window on an Italian system,
# driven to its catalogue page (Enter on the welcome and folder pages), then
# KEYS (none: "-") and TEXT typed (none: ""); a screenshot NAME of the page, and
# Enter installs. Waits until the install has written its uninstall entry, its
# last step.
page() {
    local name="$1" keys="$2" text="$3" id= installer title='Installazione di Ondiva Magazine' press
    shift 3
    wine reg delete "$key" /f >/dev/null 2>&1 || true
    wine "$setup" "$@" >/dev/null 2>&1 &
    installer=$!
    shown 30 "^$title\$" || fail "no installer window titled \"$title\""
    id="$(xdotool search --onlyvisible --name "^$title\$" | head -n 1)"
    for press in Return Return ${keys/-/}; do
        sleep 1.5
        timeout 5 xdotool windowfocus "$id" >/dev/null 2>&1 || true
        xdotool key "$press"
    done
    if [ -n "$text" ]; then
        sleep 0.5
        xdotool type --delay 20 "$text"
    fi
    sleep 1.5
    import -window root "$shots/$name.png"
    step "screenshot $shots/$name.png"
    timeout 5 xdotool windowfocus "$id" >/dev/null 2>&1 || true
    xdotool key Return
    for _ in $(seq 120); do
        wine reg query "$key" /v EstimatedSize >/dev/null 2>&1 && break
        sleep 0.5
    done
    sleep 1
    # The installer ended as if closed on its last page: the Wine server, left to
    # end on its own, writes the registry out (killed, it would not).
    kill "$installer" 2>/dev/null || true
    wait "$installer" 2>/dev/null || true
    wineserver -w
    registered || fail "the install from the page $name did not finish"
}
step "the catalogue page, in an empty folder: the demo catalogue"
pagina="$profile/Pagina"
page installer-page-empty-it - "" "/D=$profile_win\\Pagina"
cmp "$demo" "$pagina/qx.mdb" || fail "the page's demo catalogue is not the staged one"
step "the catalogue page, over the untouched demo catalogue: kept"
page installer-page-demo-it - "" "/D=$profile_win\\Pagina"
cmp "$demo" "$pagina/qx.mdb" || fail "keeping the demo catalogue changed it"
step "the catalogue page, over the untouched demo catalogue: the earlier catalogue brought"
# Alt+P chooses the earlier version's catalogue, Tab reaches its path.
page installer-page-demo-earlier-it "alt+p Tab" "$old_win\\qx-2003.mdb" "/D=$profile_win\\Pagina"
cmp "$old/qx-2003.mdb" "$pagina/qx.mdb" || fail "the catalogue chosen on the page did not take the demo catalogue's place"
[ "$(cd "$old" && sha256sum qx.mdb qx-2003.mdb)" = "$sources" ] || fail "the earlier catalogues changed"
step "the catalogue page, over the user's own catalogue: only kept"
printf 'righe mie' >> "$pagina/qx.mdb"
catalogue="$(sha256sum < "$pagina/qx.mdb")"
# Alt+P, which chose the earlier catalogue over the demo, has nothing to choose here.
page installer-page-own-it alt+p "" "/D=$profile_win\\Pagina"
[ "$(sha256sum < "$pagina/qx.mdb")" = "$catalogue" ] || fail "the page changed the user's own catalogue"

step "the installer's language and its catalogue page"
# window LOCALE TITLE NAME KEYS ARGUMENT...: opens the installer on a system of
# that locale, checks its window's title, presses Enter twice (welcome, folder)
# to reach the catalogue page, then KEYS (none: "-"), and takes a screenshot.
# (Wine's message boxes, unlike Qt's, copy nothing on Ctrl+C: the installer's
# messages are seen in the screenshots.)
window() {
    local locale="$1" title="$2" name="$3" keys="$4" id= installer press
    shift 4
    LANG="$locale" LC_ALL="$locale" wine "$setup" "$@" >/dev/null 2>&1 &
    installer=$!
    shown 30 "^$title\$" || fail "no installer window titled \"$title\" on a $locale system"
    id="$(xdotool search --onlyvisible --name "^$title\$" | head -n 1)"
    for press in Return Return ${keys/-/}; do
        sleep 1.5
        timeout 5 xdotool windowfocus "$id" >/dev/null 2>&1 || true
        xdotool key "$press"
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
    window "$locale" "$title" "installer-newer-access-$language" Return "/CATALOGUE=$old_win\\access2007.mdb" "/D=$profile_win\\Nuova"
    window "$locale" "$title" "installer-unfinished-$language" Return "/CATALOGUE=$old_win\\giornale.mdb" "/D=$profile_win\\Nuova"
    window "$locale" "$title" "installer-demo-$language" - "/D=$profile_win\\Demo"
    window "$locale" "$title" "installer-kept-$language" - "/D=$profile_win\\Pagina"
done
[ ! -e "$profile/Nuova" ] || fail "a window closed before installing left files in $profile/Nuova"
step "passed"
