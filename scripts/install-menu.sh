#!/usr/bin/env bash
# Puts an installed program folder into the user's application menu:
#   scripts/install-menu.sh DIR       DIR as given to `cmake --install build --prefix DIR`
#   scripts/install-menu.sh --remove  takes the entry and the icon out again
# The desktop entry goes to ${XDG_DATA_HOME:-~/.local/share}/applications with
# Exec pointing at DIR/bin/ondiva, the icon to .../icons/hicolor/NxN/apps.
set -euo pipefail

id=it.ondiva.Catalogo
data=${XDG_DATA_HOME:-$HOME/.local/share}
menu=$data/applications
icons=$data/icons/hicolor

refresh() {
    if command -v update-desktop-database >/dev/null; then update-desktop-database -q "$menu" || true; fi
    if [ -f "$icons/index.theme" ] && command -v gtk-update-icon-cache >/dev/null; then
        gtk-update-icon-cache -q -t "$icons" || true
    fi
}

if [ "${1:-}" = --remove ]; then
    rm -f "$menu/$id.desktop" "$icons"/*/apps/"$id.png"
    refresh
    echo "install-menu: removed $id from the menu"
    exit 0
fi

if [ $# -ne 1 ]; then
    echo "usage: $0 DIR | --remove" >&2
    exit 2
fi
dir=$(cd "$1" && pwd)
program=$dir/bin/ondiva
entry=$dir/share/applications/$id.desktop
if [ ! -x "$program" ] || [ ! -f "$entry" ]; then
    echo "install-menu: $dir holds no installed program (run cmake --install build --prefix $1 first)" >&2
    exit 1
fi

case $program in
*%*) echo "install-menu: warning: some menus (GLib's) refuse a program path with % in it" >&2 ;;
esac

# Exec takes the path in double quotes: \ becomes \\\\ and " ` $ take \\
# before them (the entry's string escapes double every backslash); % is %%.
exec_path=$(printf '%s' "$program" | sed -e 's/\\/\\\\\\\\/g' -e 's/["`$]/\\\\&/g' -e 's/%/%%/g')
# TryExec is a plain string: only the backslashes are doubled.
try_path=$(printf '%s' "$program" | sed -e 's/\\/\\\\/g')

mkdir -p "$menu"
partial=$menu/.$id.desktop.partial
while IFS= read -r line; do
    case $line in
    Exec=*) printf 'Exec="%s"\n' "$exec_path" ;;
    TryExec=*) printf 'TryExec=%s\n' "$try_path" ;;
    *) printf '%s\n' "$line" ;;
    esac
done <"$entry" >"$partial"
mv -f "$partial" "$menu/$id.desktop"

for png in "$dir"/share/icons/hicolor/*/apps/"$id.png"; do
    size=$(basename "$(dirname "$(dirname "$png")")")
    mkdir -p "$icons/$size/apps"
    cp -f "$png" "$icons/$size/apps/"
done
refresh
echo "install-menu: $menu/$id.desktop starts $program"
