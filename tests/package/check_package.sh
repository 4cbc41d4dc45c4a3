#!/usr/bin/env bash
# Checks a built Debian package the way a user meets it: unpacked into a scratch folder,
# it holds both programs, the desktop entry, the icons, the manual pages and the examples,
# declares the Qt libraries it needs, its ptw3-cli computes the shipped examples and its
# ptw3 starts on a folder given to it.
#   tests/package/check_package.sh build/release/ptw3_<version>_amd64.deb
set -u
deb=$1
here=$(dirname "$0")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

dpkg-deb -x "$deb" "$scratch" || fail "dpkg-deb -x $deb"
for file in usr/bin/ptw3 usr/bin/ptw3-cli usr/share/applications/ptw3.desktop \
            usr/share/icons/hicolor/scalable/apps/ptw3.svg \
            usr/share/icons/hicolor/48x48/apps/ptw3.png \
            usr/share/man/man1/ptw3-cli.1.gz usr/share/doc/ptw3/copyright \
            usr/share/ptw3/examples/siec-lokalna/XY.sta; do
    [ -e "$scratch/$file" ] || fail "$file is missing"
done
grep -q '^Categories=Science;Geoscience;$' "$scratch/usr/share/applications/ptw3.desktop" \
    || fail "desktop entry categories"
depends=$(dpkg-deb -f "$deb" Depends)
grep -q 'libqt6widgets6' <<<"$depends" || fail "Depends lacks Qt 6 Widgets: $depends"
"$here/../cli/example_run.sh" "$scratch/usr/bin/ptw3-cli" "$scratch/usr/share/ptw3/examples" \
    || fail "the unpacked ptw3-cli"
# The desktop program starts and keeps running on a folder given to it.
QT_QPA_PLATFORM=offscreen timeout 3 "$scratch/usr/bin/ptw3" "$scratch/usr/share/ptw3/examples" \
    >/dev/null 2>&1
[ $? -eq 124 ] || fail "the unpacked ptw3 did not keep running"
grep -q "path=$scratch/usr/share/ptw3/examples" "$scratch/usr/bin/tarvel.ini" \
    || fail "ptw3 did not remember the folder given to it beside itself"
echo "package ok: $deb ($(du -k "$deb" | cut -f1) KiB)"
