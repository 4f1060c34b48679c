#!/usr/bin/env bash
# The package's pelorin-report.exe and pelorin-summary.exe started as Explorer starts them: without
# arguments (a double-click) they read the Res_Data beside them, whatever the current folder; with a
# folder as the one argument (a folder dropped on them), that folder; with no Res_Data beside them
# they say where they looked and exit 1. Their input is no console here, so nothing waits for a key
# (a wait would hang the test until its time limit). The zip's name, the programs' --version and the
# dataset's GeneratedBy give the project's version.
#   double_click.sh WINE_RUN PACKAGE_ZIP VERSION
set -uo pipefail
wine_run=$1
zip=$2
version=$3
export PELORIN_WINEPREFIX=${PELORIN_WINEPREFIX:?no Wine prefix named for the tests}
# Console programs: no display is needed, and none is used.
unset DISPLAY WAYLAND_DISPLAY

work=$(mktemp -d "${TMPDIR:-/tmp}/pelorin-double-click-XXXXXX")
passed=0
cleanup() {
  WINEPREFIX=$PELORIN_WINEPREFIX wineserver -k 2>/dev/null || true
  if [ "$passed" = 1 ]; then rm -rf "$work"; fi
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  echo "the test's folder: $work" >&2
  exit 1
}
# A Linux path as Wine's programs see it.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
# Runs a Windows program with its input from no console, as a script or a scheduler would; what it
# printed goes to out.txt and err.txt, without Windows' CR.
run_in() {
  local folder=$1
  shift
  (cd "$folder" && timeout 60 "$wine_run" "$@" </dev/null >"$work/out.txt" 2>"$work/err.txt")
  code=$?
  sed -i 's/\r$//' "$work/out.txt" "$work/err.txt"
  [ "$code" != 124 ] || fail "$* did not end within 60 s: it waits for something"
}

[ "$(basename "$zip")" = "pelorin-$version-windows-x64.zip" ] || fail "the package is named $(basename "$zip")"
unzip -q "$zip" -d "$work" || fail "cannot unpack $zip"
folder=$work/$(basename "$zip" .zip)
# The shipped translations beside the programs, for a lab to start its own from: one copied beside
# instruction.txt under another tag is a language at hand.
for file in de.po el.po es.po fr.po nl.po pelorin.pot; do
  [ -s "$folder/translations/$file" ] || fail "the package lacks translations\\$file"
done
cp "$folder/translations/de.po" "$folder/pelorin-de-AT.po"
run_in "$folder" pelorin.exe --help
grep -q "at hand here: de, de-AT, el, en, es, fr, nl\." "$work/out.txt" ||
  fail "pelorin.exe --help does not list the languages: $(grep -A2 -- --language "$work/out.txt")"
rm "$folder/pelorin-de-AT.po"
for program in pelorin-report pelorin-summary; do
  run_in "$work" "$folder/$program.exe" --version
  [ "$code" = 0 ] && [ "$(cat "$work/out.txt")" = "$program $version" ] ||
    fail "$program.exe --version said '$(cat "$work/out.txt")' with $code"
done

# Two simulated subjects' dataset, written by the package's own pelorin.exe, put beside the programs.
run_in "$folder" pelorin.exe --simulate 2 --seed 1 --out Lab
[ "$code" = 0 ] || fail "pelorin.exe --simulate: $(cat "$work/err.txt")"
grep -q "\"Version\": \"$version\"" "$folder/Lab/Res_Data/dataset_description.json" ||
  fail "the dataset's GeneratedBy is not version $version"
mkdir "$work/Dropped data"
cp -r "$folder/Lab/Res_Data" "$work/Dropped data/"
mv "$folder/Lab/Res_Data" "$folder/Res_Data"

# A double-click: no argument, started from another folder than its own.
run_in "$work" "$folder/pelorin-report.exe"
page=$folder/Res_Data/derivatives/pelorin-report/index.html
[ "$code" = 0 ] && [ -s "$page" ] || fail "pelorin-report.exe without arguments (exit $code): $(cat "$work/err.txt")"
grep -q "sub-2" "$page" || fail "the page has no sub-2"
grep -qF 'Res_Data\derivatives\pelorin-report\index.html' "$work/out.txt" ||
  fail "pelorin-report.exe does not name the page: $(cat "$work/out.txt")"
run_in "$work" "$folder/pelorin-summary.exe"
[ "$code" = 0 ] && [ "$(grep -cE '^sub-[12] ' "$work/out.txt")" = 6 ] ||
  fail "pelorin-summary.exe without arguments (exit $code): $(cat "$work/out.txt" "$work/err.txt")"

# A folder dropped on it: its path, spaces and all, as the one argument.
run_in "$work" "$folder/pelorin-report.exe" "$(windows_path "$work/Dropped data/Res_Data")"
[ "$code" = 0 ] && [ -s "$work/Dropped data/Res_Data/derivatives/pelorin-report/index.html" ] ||
  fail "pelorin-report.exe given a dropped folder (exit $code): $(cat "$work/err.txt")"

# No Res_Data beside the program: where it looked, exit 1 (the report: 3, no page), and no wait for a key.
mkdir "$work/Alone"
cp "$folder/pelorin-report.exe" "$folder/pelorin-summary.exe" "$work/Alone/"
for program in pelorin-report pelorin-summary; do
  run_in "$folder" "$work/Alone/$program.exe"
  want=1; [ "$program" = pelorin-report ] && want=3
  [ "$code" = "$want" ] || fail "$program.exe without a Res_Data exits with $code, not $want"
  grep -qF "$program: no Res_Data folder in $(windows_path "$work/Alone")" "$work/err.txt" ||
    fail "$program.exe without a Res_Data says: $(cat "$work/err.txt")"
done
passed=1
echo "OK: the summary and the report double-clicked, given a drop, and without data"
