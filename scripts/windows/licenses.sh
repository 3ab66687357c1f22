#!/bin/bash
# Writes the licence texts of what the Windows package bundles into FOLDER:
# Qt (qtbase, with the libraries it carries inside), MinGW-w64's GCC runtime and
# winpthreads, and SQLite, each as Debian's copyright file of the package it
# comes from, with the full texts of the licences they name.
#
#   scripts/windows/licenses.sh FOLDER
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 FOLDER" >&2
    exit 2
fi
out="$1"
mkdir -p "$out"
doc=/usr/share/doc
copy() { # copy SOURCE NAME: fails loudly when Debian's file is missing
    [ -f "$1" ] || { echo "licenses: missing $1" >&2; exit 1; }
    cp "$1" "$out/$2"
}
copy "$doc/libqt6core6/copyright" Qt.txt
copy "$doc/gcc-mingw-w64-x86-64-posix-runtime/copyright" GCC-runtime.txt
copy "$doc/mingw-w64-x86-64-dev/copyright" MinGW-w64.txt
copy "$doc/libsqlite3-0/copyright" SQLite.txt
copy /usr/share/common-licenses/LGPL-3 LGPL-3.txt
copy /usr/share/common-licenses/GPL-3 GPL-3.txt
cat > "$out/README.txt" <<'TEXT'
Licences of the software this program bundles

Qt.txt          Qt 6.4.2 (qtbase: Qt6Core, Qt6Gui, Qt6Widgets and their plugins),
                under the GNU LGPL version 3 (LGPL-3.txt, which builds on
                GPL-3.txt), with the third-party code inside Qt listed there.
                Qt was built, unmodified, from Debian 12's source package
                qt6-base 6.4.2; the DLLs beside the program may be replaced by
                other builds of the same Qt version.
GCC-runtime.txt the GCC runtime (libgcc, libstdc++), under the GPL version 3
                with the GCC Runtime Library Exception.
MinGW-w64.txt   MinGW-w64's runtime and winpthreads.
SQLite.txt      SQLite 3.40.1, in the public domain, compiled into ondiva.exe.
TEXT
