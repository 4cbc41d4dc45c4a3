#!/usr/bin/env bash
# Runs ptw3-cli the way a user does: on a copy of each shipped example folder (a planned
# network, one with KANDYDACI, by its pre-analysis), and with wrong usage; checks the exit
# statuses and the start, summary and end lines.
set -u
cli=$1
examples=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

shopt -s nullglob
folders=("$examples"/*/)
[ ${#folders[@]} -gt 0 ] || fail "no example folders in $examples"
for example in "${folders[@]}"; do
    name=$(basename "$example")
    cp -r "$example" "$work/$name"
    if [ -e "$example/KANDYDACI" ]; then
        # A planned network: its pre-analysis with the advisor, and no adjustment reports.
        out=$("$cli" --no --pre-analysis --advise "$work/$name" 2>"$work/stderr")
        status=$?
        [ "$status" -eq 0 ] || fail "$name: exit status $status"
        grep -q '^ ANALIZA PRZEDWYKONAWCZA (projekt sieci)$' <<<"$out" || fail "$name: plan line"
        grep -q '^ Standard dokładności 0.05 m: ' <<<"$out" || fail "$name: accuracy standard line"
        grep -q '^ Doradca projektu: ' <<<"$out" || fail "$name: advisor line"
        grep -q '^ KONIEC OBLICZEŃ:' <<<"$out" || fail "$name: end line"
        for extra in projekt.ptw wyniki.json punkty.csv obserwacje.csv siec.svg linie.csv; do
            [ -s "$work/$name/$extra" ] || fail "$name: no $extra"
        done
        for report in rpw.ptw er3.ptw er3a.ptw xy.ptw dxdy.ptw kontrola.ptw; do
            [ ! -e "$work/$name/$report" ] || fail "$name: a pre-analysis left $report"
        done
        grep -q '"kind":"pre_analysis"' "$work/$name/wyniki.json" || fail "$name: run kind"
        continue
    fi
    out=$("$cli" --no "$work/$name" 2>"$work/stderr")
    status=$?
    [ "$status" -eq 0 ] || fail "$name: exit status $status"
    grep -q '^ POCZĄTEK OBLICZEŃ:[0-9][0-9]:[0-9][0-9]:[0-9][0-9]$' <<<"$out" || fail "$name: start line"
    grep -q '^ CZYTANIE I KONTROLA DANYCH - proszę czekać$' <<<"$out" || fail "$name: reading line"
    grep -q '^ Przeciętny błąd położenia punktu = ' <<<"$out" || fail "$name: mean error line"
    grep -q '^ Maksymalny błąd położenia punktu = ' <<<"$out" || fail "$name: max error line"
    grep -q '^ KONIEC OBLICZEŃ:' <<<"$out" || fail "$name: end line"
    grep -q '^ Test globalny: ' <<<"$out" || fail "$name: global test line"
    grep -q '^ Standard dokładności 0.05 m: ' <<<"$out" || fail "$name: accuracy standard line"
    for extra in wyniki.json punkty.csv obserwacje.csv siec.svg linie.csv kontrola.ptw; do
        [ -s "$work/$name/$extra" ] || fail "$name: no $extra"
    done
done

# --no-extra-files leaves the folder as the reports and KONTROLA.ptw leave it, and with
# --no-control as the reports alone leave it.
for example in "${folders[@]}"; do
    [ -e "$example/KANDYDACI" ] || { cp -r "$example" "$work/plain"; break; }
done
"$cli" --no --no-extra-files "$work/plain" >/dev/null 2>&1 || fail "--no-extra-files: exit status"
for extra in wyniki.json punkty.csv obserwacje.csv siec.svg linie.csv; do
    [ ! -e "$work/plain/$extra" ] || fail "--no-extra-files wrote $extra"
done
[ -s "$work/plain/kontrola.ptw" ] || fail "--no-extra-files: no kontrola.ptw"
"$cli" --no --no-extra-files --no-control "$work/plain" >"$work/plain.out" 2>&1 ||
    fail "--no-control: exit status"
[ ! -e "$work/plain/kontrola.ptw" ] || fail "--no-control left kontrola.ptw"
grep -q 'Test globalny' "$work/plain.out" && fail "--no-control wrote a verdict line"
"$cli" --mp-limit 0 "$work/plain" >/dev/null 2>&1
[ $? -eq 2 ] || fail "--mp-limit 0 must exit with 2"

"$cli" --frobnicate >/dev/null 2>&1
[ $? -eq 2 ] || fail "wrong usage must exit with 2"
"$cli" --advise "$work/plain" >/dev/null 2>&1
[ $? -eq 2 ] || fail "--advise without --pre-analysis must exit with 2"
"$cli" --help | grep -q 'Exit status' || fail "--help"
echo "ok"
