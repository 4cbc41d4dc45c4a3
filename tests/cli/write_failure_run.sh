#!/usr/bin/env bash
# Runs ptw3-cli where its reports cannot be written in full: a read-only working folder,
# and a file-size limit that cuts RPW.ptw mid-way. Either run must end with the fatal
# status 3, a message naming the file and the reason, no " KONIEC OBLICZEŃ:" line, and
# the input files byte for byte as they were.
set -u
cli=$1
example=$2
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# Root ignores permission bits: the read-only run drops to an unprivileged user, which
# must reach the program and the folder.
chmod 755 "$work"
cp "$cli" "$work/ptw3-cli"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi

check() { # name file-named-in-the-message reason
    local name=$1 file=$2 reason=$3
    [ "$status" -eq 3 ] || fail "$name: exit status $status"
    grep -q "^ \*\*\* Błąd zapisu pliku <$file>: $reason\$" "$work/$name.err" ||
        fail "$name: message: $(cat "$work/$name.err")"
    grep -q 'KONIEC OBLICZEŃ' "$work/$name.out" && fail "$name: the end line was written"
    for f in "$example"/*; do
        cmp -s "$f" "$work/$name/$(basename "$f")" || fail "$name: $(basename "$f") changed"
    done
}

cp -r "$example" "$work/read-only"
chmod 555 "$work/read-only"
"${as_user[@]}" "$work/ptw3-cli" --yes "$work/read-only" >"$work/read-only.out" 2>"$work/read-only.err"
status=$?
check read-only er3a.ptw "brak prawa zapisu"

cp -r "$example" "$work/size-limit"
(
    ulimit -f 8 # blocks of 1024 bytes: ER3a.ptw fits, RPW.ptw does not
    trap '' XFSZ
    exec "$work/ptw3-cli" --yes "$work/size-limit"
) >"$work/size-limit.out" 2>"$work/size-limit.err"
status=$?
check size-limit rpw.ptw "przekroczony dopuszczalny rozmiar pliku"
[ "$(stat -c %s "$work/size-limit/rpw.ptw")" -eq 8192 ] || fail "size-limit: RPW.ptw not cut at the limit"
echo "ok"
