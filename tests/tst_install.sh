#!/usr/bin/env bash
# The install step end to end: tst_install.sh BUILD_DIR SOURCE_DIR
#  - installs into a fresh folder (with a space in its name) and finds the
#    program, its catalogue, the icons, the desktop entry and the metainfo;
#  - a reinstall over a catalogue the user changed leaves it as it is;
#  - the desktop entry and the metainfo pass their validators (skipped when
#    desktop-file-utils or appstream is missing);
#  - the menu entry made by install-menu.sh starts the installed program.
set -euo pipefail
build=$1
source=$2
id=it.ondiva.Catalogo
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
app="$scratch/Ondiva app"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
install_into() { cmake --install "$build" --prefix "$1" >"$scratch/install.log" || fail "cmake --install: $(cat "$scratch/install.log")"; }
png_width() { od -An -tu1 -j16 -N4 "$1" | awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4 }'; }

install_into "$app"
[ -x "$app/bin/ondiva" ] || fail "no program"
cmp -s "$app/bin/qx.mdb" "$build/bin/qx.mdb" || fail "the catalogue is not the built one"
[ -f "$app/share/applications/$id.desktop" ] || fail "no desktop entry"
[ -f "$app/share/metainfo/$id.metainfo.xml" ] || fail "no metainfo"
for size in 16 32 48 64 128 256; do
    png="$app/share/icons/hicolor/${size}x${size}/apps/$id.png"
    [ -f "$png" ] || fail "no ${size}px icon"
    [ "$(png_width "$png")" = "$size" ] || fail "the ${size}px icon is $(png_width "$png") pixels wide"
done

# The user's rows and recorded updates survive a reinstall.
sqlite3 "$app/bin/qx.mdb" "INSERT INTO AGGIORNAMENTI VALUES ('n.99'); INSERT INTO GROOVES VALUES ('Groove del lettore', '99');"
cp "$app/bin/qx.mdb" "$scratch/changed.mdb"
install_into "$app"
cmp -s "$app/bin/qx.mdb" "$scratch/changed.mdb" || fail "the reinstall changed the catalogue"
[ "$(sqlite3 "$app/bin/qx.mdb" "SELECT count(*) FROM AGGIORNAMENTI WHERE AGGIORNATOAL = 'n.99'")" = 1 ] ||
    fail "the recorded update is gone"
grep -q "Keeping: .*qx.mdb" "$scratch/install.log" || fail "the reinstall did not say it kept the catalogue"
[ -z "$(find "$app/bin" -name '.qx.mdb*')" ] || fail "a temporary copy was left behind"

# A staged install (as packagers and CPack do it) puts the catalogue under DESTDIR.
DESTDIR="$scratch/stage" cmake --install "$build" --prefix /opt/ondiva >/dev/null
cmp -s "$scratch/stage/opt/ondiva/bin/qx.mdb" "$build/bin/qx.mdb" || fail "no catalogue in the staged install"

validate() {
    local tool=$1
    shift
    if command -v "$tool" >/dev/null; then
        "$tool" "$@" >"$scratch/validate.log" 2>&1 || fail "$tool $*: $(cat "$scratch/validate.log")"
    else
        echo "SKIP: $tool is not installed"
    fi
}
validate desktop-file-validate "$app/share/applications/$id.desktop"
validate appstreamcli validate --no-net "$app/share/metainfo/$id.metainfo.xml"

# The menu entry starts the installed program.
XDG_DATA_HOME="$scratch/data" "$source/scripts/install-menu.sh" "$app" >/dev/null
entry="$scratch/data/applications/$id.desktop"
grep -qxF "Exec=\"$app/bin/ondiva\"" "$entry" || fail "menu entry: $(grep '^Exec=' "$entry")"
validate desktop-file-validate "$entry"
[ -f "$scratch/data/icons/hicolor/256x256/apps/$id.png" ] || fail "no icon in the menu's theme"
XDG_DATA_HOME="$scratch/data" "$source/scripts/install-menu.sh" --remove >/dev/null
[ ! -e "$entry" ] || fail "--remove left the menu entry"
echo "PASS"
