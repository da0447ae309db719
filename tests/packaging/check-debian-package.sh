#!/usr/bin/env bash
# Checks the package scripts/package built: lintian passes it with no error or
# warning; it takes SQLite, Qt and the rest from the system and declares
# them; it installs both programs, their manual pages and the desktop files;
# the packaged manual page covers the packaged program's usage.
# Usage: check-debian-package.sh DEB_DIR CHECKS_DIR. Exits 77 (skipped) when
# there is no package or no lintian.
set -euo pipefail
deb_dir=$1 checks=$2
shopt -s nullglob
debs=("$deb_dir"/skyloom_*.deb)
if ((${#debs[@]} != 1)); then
    echo "skipped: no single package in $deb_dir (scripts/package builds it)"
    exit 77
fi
deb=${debs[0]}
if ! command -v lintian >/dev/null; then
    echo "skipped: lintian is not installed"
    exit 77
fi
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

echo "== lintian $deb"
lintian --fail-on error,warning --display-info --pedantic "$deb" || fail "lintian found errors or warnings"

info=$(dpkg-deb -I "$deb")
echo "$info"
depends=$(sed -n 's/^ Depends: //p' <<<"$info")
for needed in libsqlite3-0 libqt6widgets6 libqt6network6 libqt6dbus6 libicu72 libqt6svg6 qt6-qpa-plugins; do
    [[ ", $depends," == *", $needed"[\ ,]* ]] || fail "Depends lacks $needed: $depends"
done
grep -Eq '^ Built-Using: .*icu \(= ' <<<"$info" || fail "Built-Using does not name icu"

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in ./usr/bin/skyloom ./usr/bin/skyloom-app \
    ./usr/share/man/man1/skyloom.1.gz ./usr/share/man/man1/skyloom-app.1.gz \
    ./usr/share/applications/engineering.brindle.Skyloom.desktop \
    ./usr/share/icons/hicolor/scalable/apps/engineering.brindle.Skyloom.svg \
    ./usr/share/metainfo/engineering.brindle.Skyloom.metainfo.xml \
    ./usr/share/skyloom/translations/skyloom_en.qm ./usr/share/doc/skyloom/copyright; do
    grep -qxF "$path" <<<"$contents" || fail "the package lacks $path"
done

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
for program in skyloom skyloom-app; do
    needed=$(objdump -p "$root/usr/bin/$program" | awk '/NEEDED/ {print $2}')
    grep -qx 'libsqlite3.so.0' <<<"$needed" || fail "$program does not load the system's SQLite"
    # SQLite's own code carries this text; a program that has it carries SQLite.
    ! grep -qaF 'CREATE TABLE sqlite_master(' "$root/usr/bin/$program" || fail "$program carries a copy of SQLite"
done
cmake -DSKYLOOM="$root/usr/bin/skyloom" -DMAN_DIR="$root/usr/share/man/man1" -P "$checks/CheckManPages.cmake"
