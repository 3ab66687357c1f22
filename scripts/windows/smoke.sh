#!/bin/bash
# Starts the unzipped Windows program under Wine on a virtual screen, as a user
# would, from a folder with accented letters in its path:
#   1. on the demo catalogue: waits for its window, searches for "caffè" and
#      checks that the articles' list holds as many rows as the catalogue has
#      titles containing it (the list's rows copied with Ctrl+A, Ctrl+C and read
#      from the clipboard, which Wine hands on to X), imports the update file of
#      n.61 through File > Update database, has File > Open earlier catalogue…
#      refuse a text file and ask about an Access one, takes screenshots;
#   2. on an Access catalogue: answers Sì to the conversion, which must read the
#      file through the package's own readers (the 32-bit one cannot start under
#      a 64-bit-only Wine, so the 64-bit one takes over) and Windows' ODBC,
#      served by mdbtools' driver as package.sh registers it.
#
#   scripts/windows/smoke.sh ZIP ODBC_DATA [SHOTS_DIR]
# Screenshots go to SHOTS_DIR (default build-windows/shots).
set -euo pipefail

if [ $# -lt 2 ]; then
    echo "usage: $0 ZIP ODBC_DATA [SHOTS_DIR]" >&2
    exit 2
fi
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
zip="$(realpath "$1")"
data="$(realpath "$2")"
shots="$(realpath -m "${3:-$HERE/../../build-windows/shots}")"
mkdir -p "$shots"
command -v xclip >/dev/null || { echo "smoke: FAIL: xclip is not installed (package xclip)" >&2; exit 1; }
export WINEPREFIX="${ONDIVA_QT_CACHE:-$HOME/.cache/ondiva}/wine64-smoke"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export ODBCSYSINI="$data/odbcinst"
title="Ondiva Magazine Database Search Engine 1.0"
fail() {
    echo "smoke: FAIL: $*" >&2
    # What the screen showed, and the windows open, for whoever reads the log.
    import -window root "$shots/failure.png" 2>/dev/null && echo "smoke: screenshot $shots/failure.png" >&2
    xdotool search --onlyvisible --name . getwindowname %@ 2>/dev/null | sed 's/^/smoke: window: /' >&2 || true
    exit 1
}
step() { echo "smoke: $*" >&2; }

display=":${ONDIVA_SMOKE_DISPLAY:-41}"
# Room for the window at 144 dots per inch too (1.5 times 683 by 553, and the menu).
Xvfb "$display" -screen 0 1920x1200x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY="$display"
program=
cleanup() {
    [ -z "$program" ] || kill "$program" 2>/dev/null || true
    wineserver -k 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

[ -f "$WINEPREFIX/system.reg" ] || { wineboot -i >/dev/null 2>&1; wineserver -w; }
profile_win="$(wine cmd /c echo '%USERPROFILE%' 2>/dev/null | tr -d '\r')"
profile="$(winepath -u "$profile_win")"
documents="$profile/Documenti/Niccolò"
rm -rf "$documents"
mkdir -p "$documents/Catalogo" "$documents/Conversione"
unzip -q "$zip" -d "$documents/Catalogo"
unzip -q "$zip" -d "$documents/Conversione"

# waitfor SECONDS: the id of a visible window with the program's title, once one shows
waitfor() {
    for _ in $(seq $(($1 * 2))); do
        id="$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | tail -n 1)" && [ -n "$id" ] && {
            echo "$id"
            return 0
        }
        [ -z "$program" ] || kill -0 "$program" 2>/dev/null || return 1
        sleep 0.5
    done
    return 1
}
# An Italian Windows: Qt's own buttons read Sì and No.
italian() { LANG=it_IT.UTF-8 LC_ALL=it_IT.UTF-8 "$@"; }
shot() { sleep 1; import -window root "$shots/$1.png"; step "screenshot $shots/$1.png"; }
# press WINDOW KEY...: the keys, typed into that window (a window manager is not
# there to give it the focus: without one the activation fails, and focusing does).
press() {
    timeout 5 xdotool windowactivate --sync "$1" >/dev/null 2>&1 || timeout 5 xdotool windowfocus "$1" >/dev/null 2>&1 || true
    xdotool key "${@:2}"
}
# Under a loaded machine a key can reach a window before it takes input, and is
# lost: each step waits for its window, checks that the answer took, and presses
# a lost key again before it calls the program wrong.
# visible NAME: the ids of the windows shown whose title matches NAME; with
# no NAME, of every window shown (Wine's file dialog has no title)
visible() {
    if [ -n "${1:-}" ]; then
        xdotool search --onlyvisible --name "$1" 2>/dev/null | sort || true
    else
        xdotool search --onlyvisible --classname . 2>/dev/null | sort || true
    fi
}
width() { xwininfo -id "$1" 2>/dev/null | sed -n 's/^ *Width: //p'; }
shown() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
# opened NAME BEFORE SECONDS [WIDTH]: the id of a window titled NAME (any, if
# NAME is empty), at least WIDTH pixels wide, that shows and was not among BEFORE
opened() {
    local new
    for _ in $(seq $(($3 * 2))); do
        for new in $(comm -13 <(echo "$2") <(visible "$1")); do
            shown "$new" && [ "$(width "$new")" -ge "${4:-0}" ] 2>/dev/null && { echo "$new"; return 0; }
        done
        [ -z "$program" ] || kill -0 "$program" 2>/dev/null || return 1
        sleep 0.5
    done
    return 1
}
# answer WINDOW KEY...: presses the keys in that window until it closes
answer() {
    local id="$1" try
    shift
    for try in 1 2 3 4; do
        press "$id" "$@"
        for _ in $(seq 10); do shown "$id" || return 0; sleep 0.5; done
        step "the window is still open after $* (try $try): pressing again"
    done
    return 1
}

step "starting the program on the demo catalogue"
italian wine "$documents/Catalogo/Ondiva/ondiva.exe" >/dev/null 2>&1 &
program=$!
window="$(waitfor 90)" || fail "the window did not show"
shot window
press "$window" c a f f egrave Return # Caffè: typed accented text
shot search

step "the articles' list holds every title with caffè, whatever the case"
catalogue="$documents/Catalogo/Ondiva/qx.mdb"
expected="$(sqlite3 "file:$catalogue?mode=ro" "SELECT replace(ARTICOLO, char(10), ' ') FROM ARTICOLI" |
    LC_ALL=it_IT.UTF-8 grep -ciF 'caffè' || true)"
[ "$expected" -gt 0 ] 2>/dev/null || fail "the demo catalogue has no title with caffè to look for ($expected)"
# A click in the articles' list (the first pane's, below its search box) gives
# it the focus; Ctrl+A selects every row, Ctrl+C copies them, one a line.
copied=
for try in 1 2 3; do
    xdotool mousemove --window "$window" 340 112 click 1
    press "$window" ctrl+a ctrl+c
    sleep 1
    copied="$(timeout 5 xclip -o -selection clipboard 2>/dev/null || true)"
    [ -n "$copied" ] && break
    step "nothing copied from the articles' list (try $try)"
done
[ -n "$copied" ] || fail "Ctrl+A, Ctrl+C in the articles' list copied nothing"
shot search-selected
rows="$(awk 'END { print NR }' <<<"$copied")"
[ "$rows" = "$expected" ] || fail "the list shows $rows rows for caffè, the catalogue has $expected titles with it: $copied"
others="$(cut -f1 <<<"$copied" | LC_ALL=it_IT.UTF-8 grep -viF 'caffè' || true)"
[ -z "$others" ] || fail "the list shows titles without caffè: $others"
step "$rows rows for caffè, as in the catalogue"

step "importing the update file of n.61"
updates() { sqlite3 "file:$catalogue?mode=ro" 'SELECT count(*) FROM AGGIORNAMENTI' 2>/dev/null || echo unreadable; }
before="$(updates)"
cp "$HERE/../../examples/aggiornamento-n61.txt" "$documents/"
update_title='^Ondiva Magazine Database Update$'
before_menu="$(visible)"
dialog=
for try in 1 2 3; do
    press "$window" alt+f u
    # At least 400 pixels wide: not the menu, which shows first.
    dialog="$(opened "" "$before_menu" 10 400)" && break
    step "no file dialog after File > Update database (try $try)"
    press "$window" Escape Escape
done
[ -n "$dialog" ] || fail "File > Update database opened no file dialog"
sleep 1 # its name box has the focus, and holds the filter
shot update-dialog
before_dialog="$(visible "$update_title")"
for try in 1 2 3; do
    press "$dialog" End shift+Home
    xdotool type --delay 20 "$profile_win\\Documenti\\Niccolò\\aggiornamento-n61.txt"
    xdotool key Return
    for _ in $(seq 10); do shown "$dialog" || break; sleep 0.5; done
    shown "$dialog" || break
    step "the file dialog is still open (try $try): typing the name again"
done
shown "$dialog" && fail "the file dialog did not take the update file's name"
question="$(opened "$update_title" "$before_dialog" 30)" || fail "no question before the update"
shot update-question
answer "$question" s || fail "the update question did not take Sì" # No is the default button
for _ in $(seq 60); do [ "$(updates)" != "$before" ] && break; sleep 0.5; done
after="$(updates)"
[ "$after" = "$((before + 1))" ] || fail "the update was not imported (updates recorded: $before, then $after)"
notice="$(opened "$update_title" "$before_dialog" 30)" || fail "no notice after the update"
shot update-notice
answer "$notice" Return || fail "the notice after the update did not close"

# earlier FILE SHOT: File > Open earlier catalogue… with FILE typed into its
# dialog; the id of the window that shows next (a notice or a question).
earlier() {
    local dialog= try before
    before_menu="$(visible)"
    for try in 1 2 3; do
        press "$window" alt+f o
        dialog="$(opened "" "$before_menu" 10 400)" && break
        step "no file dialog after File > Open earlier catalogue (try $try)"
        press "$window" Escape Escape
    done
    [ -n "$dialog" ] || fail "File > Open earlier catalogue opened no file dialog"
    sleep 1
    shot "$2-dialog"
    before="$(visible "^$title\$")"
    for try in 1 2 3; do
        press "$dialog" End shift+Home
        xdotool type --delay 20 "$1"
        xdotool key Return
        for _ in $(seq 10); do shown "$dialog" || break; sleep 0.5; done
        shown "$dialog" || break
    done
    shown "$dialog" && fail "the file dialog did not take $1"
    opened "^$title\$" "$before" 30
}
# said WINDOW: the text of a Qt message box, copied with Ctrl+C.
said() {
    press "$1" ctrl+c
    sleep 1
    timeout 5 xclip -o -selection clipboard 2>/dev/null || true
}

step "File > Open earlier catalogue: a text file named lettera.mdb is refused"
printf 'Caro Niccolò,\r\necco il catalogo.\r\n' > "$documents/lettera.mdb"
in_use="$(sha256sum < "$catalogue")"
refusal="$(earlier "$profile_win\\Documenti\\Niccolò\\lettera.mdb" earlier)" || fail "no notice for lettera.mdb"
shot earlier-refused
text="$(said "$refusal")"
grep -q "non è un catalogo" <<<"$text" || fail "the notice for lettera.mdb says: $text"
answer "$refusal" Return || fail "the refusal did not close"
step "an Access catalogue: the question says the catalogue in use is kept; No (the default) changes nothing"
cp "$data/jet4.mdb" "$documents/qx.mdb"
question="$(earlier "$profile_win\\Documenti\\Niccolò\\qx.mdb" earlier-access)" || fail "no question for the Access catalogue"
shot earlier-question
text="$(said "$question")"
# The update made the catalogue the user's own: it is to be kept.
grep -q "«qx-precedente.mdb»" <<<"$text" || fail "the question does not name where the catalogue in use is kept: $text"
answer "$question" Return || fail "the question did not take No"
[ "$(sha256sum < "$catalogue")" = "$in_use" ] || fail "the catalogue in use changed"
ls "$documents/Catalogo/Ondiva" | grep -q "portando\|precedente" && fail "files were left beside the catalogue"
kill "$program" 2>/dev/null || true
wineserver -k 2>/dev/null || true
program=

step "the window at 144 dots per inch"
# Wine takes the screen's resolution from LogPixels; Qt scales the window by 1.5.
dpi() {
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    wine reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' \
        /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    wineserver -w
}
dpi 144
italian wine "$documents/Catalogo/Ondiva/ondiva.exe" >/dev/null 2>&1 &
program=$!
window="$(waitfor 90)" || fail "the window did not show at 144 dots per inch"
width="$(xwininfo -id "$window" | sed -n 's/^ *Width: //p')"
[ "$width" -ge 1000 ] || fail "at 144 dots per inch the window is $width pixels wide, not scaled"
press "$window" c a f f egrave Return
shot window-144dpi
kill "$program" 2>/dev/null || true
wineserver -k 2>/dev/null || true
program=
dpi 96

step "starting the program on an Access catalogue"
access="$documents/Conversione/Ondiva"
cp "$data/jet4.mdb" "$access/qx.mdb"
italian wine "$access/ondiva.exe" >/dev/null 2>&1 &
program=$!
question="$(waitfor 90)" || fail "no question about converting the Access catalogue"
shot conversion-question
answer "$question" Return || fail "the conversion question did not take Sì" # Sì
converted() { [ "$(head -c 15 "$access/qx.mdb" | tr -d '\0')" = "SQLite format 3" ]; }
for _ in $(seq 240); do
    [ -f "$access/qx-originale-access.mdb" ] && converted && break
    sleep 0.5
done
converted || fail "the catalogue was not converted"
cmp -s "$data/jet4.mdb" "$access/qx-originale-access.mdb" || fail "the Access original was not kept as it was"
sleep 2 # the progress dialog, of the same title, closes before the notice shows
notice="$(waitfor 30)" || fail "no notice after the conversion"
shot conversion-notice
answer "$notice" Return || fail "the notice after the conversion did not close"
waitfor 30 >/dev/null || fail "no window after the conversion"
kill -0 "$program" 2>/dev/null || fail "the program ended after the conversion"
shot conversion-window
step "passed"
