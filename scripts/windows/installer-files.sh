#!/bin/bash
# Writes the NSIS include that names, one by one, every file and folder of the
# program folder the installer carries: the macro ONDIVA_INSTALL_FILES installs
# them, ONDIVA_UNINSTALL_FILES deletes exactly those names and then those
# folders that are left empty. So the uninstaller never deletes by pattern, and
# a file the installer did not put there stays, whatever its name. The catalogue
# qx.mdb is left out: the installer treats it on its own, and it is never deleted.
#
# For the list of installed files the installer leaves in the program folder
# (installed-files.txt), ONDIVA_WRITE_MANIFEST writes these names, one a line,
# to the open file handle $R2, and ONDIVA_SHIPPED sets $R1 to 1 when $R0 (a name
# from such a list, relative to the folder) is one of them, 0 otherwise: an
# upgrade deletes the files an earlier version listed that this one no longer has.
#
#   scripts/windows/installer-files.sh PROGRAM_FOLDER OUTPUT.nsh
set -euo pipefail

if [ $# -ne 2 ]; then
    echo "usage: $0 PROGRAM_FOLDER OUTPUT.nsh" >&2
    exit 2
fi
source="$(realpath "$1")"
output="$(realpath -m "$2")"
cd "$source"
mapfile -t files < <(find . -type f ! -path ./qx.mdb -printf '%h\t%P\n' | LC_ALL=C sort | cut -f2) # folder by folder
mapfile -t folders < <(find . -mindepth 1 -type d -printf '%P\n' | LC_ALL=C sort -r) # inner folders first
for name in "$source" "${files[@]}" "${folders[@]}"; do
    # Names NSIS would read as something else: quotes, wildcards, its variables.
    case "$name" in
        *[\"\`\$*?\\]* | *$'\n'*) echo "installer-files: a name NSIS cannot carry as it is: $name" >&2; exit 1 ;;
    esac
done
# The list of installed files is written in the system's code page: ASCII names only.
for name in "${files[@]}" "${folders[@]}"; do
    if LC_ALL=C grep -q '[^ -~]' <<<"$name"; then echo "installer-files: a name that is not ASCII: $name" >&2; exit 1; fi
done
windows() { printf '%s' "${1//\//\\}"; }
{
    echo "; Made by scripts/windows/installer-files.sh from $source"
    echo "!macro ONDIVA_INSTALL_FILES"
    folder=/ # none yet
    for name in "${files[@]}"; do
        here="$(dirname "$name")"
        if [ "$here" != "$folder" ]; then
            if [ "$here" = . ]; then echo '    SetOutPath "$INSTDIR"'; else echo "    SetOutPath \"\$INSTDIR\\$(windows "$here")\""; fi
            folder="$here"
        fi
        echo "    File \"$source/$name\""
    done
    echo '    SetOutPath "$INSTDIR"'
    echo "!macroend"
    echo "!macro ONDIVA_UNINSTALL_FILES"
    for name in "${files[@]}"; do echo "    Delete \"\$INSTDIR\\$(windows "$name")\""; done
    for name in "${folders[@]}"; do echo "    RMDir \"\$INSTDIR\\$(windows "$name")\""; done
    echo "!macroend"
    echo "!macro ONDIVA_WRITE_MANIFEST"
    for name in "${files[@]}"; do echo "    FileWrite \$R2 \"$(windows "$name")\$\\r\$\\n\""; done
    echo "!macroend"
    # NSIS compares strings without regard to case, as Windows compares file names.
    echo "!macro ONDIVA_SHIPPED"
    echo "    StrCpy \$R1 1"
    for name in "${files[@]}"; do echo "    StrCmp \$R0 \"$(windows "$name")\" ondiva_shipped_done"; done
    echo "    StrCpy \$R1 0"
    echo "    ondiva_shipped_done:"
    echo "!macroend"
} > "$output"
