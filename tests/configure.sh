#!/usr/bin/env bash
# Configure never leaves a product or its tests out silently: without the report's plotting scripts it
# fails and names the command that installs them; told to build without the report, it names the
# tests it leaves out.
#   configure.sh CMAKE CTEST SOURCE_DIR GENERATOR CXX_COMPILER
set -uo pipefail
cmake=$1 ctest=$2 source_dir=$3 generator=$4 compiler=$5
work=$(mktemp -d "${TMPDIR:-/tmp}/pelorin-configure-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/empty"
fail() { echo "FAIL: $*" >&2; echo "--- configure said:" >&2; cat "$work/out" >&2; exit 1; }

configure() {
  "$cmake" -S "$source_dir" -B "$work/build" -G "$generator" -DCMAKE_CXX_COMPILER="$compiler" \
    -DPELORIN_REPORT_SCRIPTS="$work/empty" "$@" >"$work/out" 2>&1
}

configure && fail "configure passed without the report's plotting scripts"
grep -q "scripts/install-report-scripts" "$work/out" || fail "configure did not name the command that installs them"
grep -q "$work/empty/vega/build/vega.min.js" "$work/out" || fail "configure did not name the missing script"
[ -f "$work/build/build.ninja" ] || [ -f "$work/build/Makefile" ] && fail "configure wrote a build without the report"

rm -rf "$work/build"
configure -DPELORIN_REPORT=OFF || fail "configure failed with PELORIN_REPORT=OFF"
for left in pelorin-report ReportTest report_browser; do
  grep -q "$left" "$work/out" || fail "configure with PELORIN_REPORT=OFF did not say it leaves out $left"
done
"$ctest" --test-dir "$work/build" -N | grep -q report_browser && fail "report_browser is listed without the report"
echo "configure: fails without the report's scripts, naming the command; says what it leaves out when told to"
