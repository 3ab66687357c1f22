# Sourced by build-qt.sh and build-sqlite.sh: Debian's source packages through apt.

# apt-get source needs a deb-src line; one for bookworm, the suite of the
# installed packages, is added when there is none.
ensure_deb_src() {
    if grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ || grep -qs '^deb-src' /etc/apt/sources.list; then
        return 0
    fi
    [ "$(id -u)" = 0 ] || { echo "no deb-src source in apt (run as root to add one)" >&2; return 1; }
    echo "adding a deb-src line for bookworm to apt's sources" >&2
    cat > /etc/apt/sources.list.d/bookworm-src.sources <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    apt-get update -q >&2
}

# fetch_source PACKAGE VERSION FOLDER: PACKAGE's source at VERSION, with Debian's
# patches applied, unpacked into FOLDER (kept when already there).
fetch_source() {
    local package="$1" version="$2" folder="$3"
    ensure_deb_src
    local parent
    parent="$(dirname "$folder")"
    mkdir -p "$parent"
    (cd "$parent" && apt-get source --download-only "$package=$version" >&2)
    rm -rf "$folder"
    (cd "$parent" && dpkg-source -x "${package}_${version#*:}.dsc" "$folder" >&2)
}
