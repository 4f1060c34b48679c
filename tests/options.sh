#!/usr/bin/env bash
# The command line: help and version answered on standard output with 0; every refusal answered on
# standard error with its reason and the usage, exit code 2, before anything is opened or written:
# the folder stays empty, and no display is needed (none is given).
#   options.sh PELORIN VERSION SOURCE_DIR
set -uo pipefail
pelorin=$1
version=$2
source_dir=$3
# The folder the program runs in, and beside it what it prints.
work=$(mktemp -d "${TMPDIR:-/tmp}/pelorin-options-XXXXXX")
printed=$(mktemp -d "${TMPDIR:-/tmp}/pelorin-options-printed-XXXXXX")
trap 'rm -rf "$work" "$printed"' EXIT
unset DISPLAY WAYLAND_DISPLAY
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

run() { (cd "$work" && "$pelorin" "$@" >"$printed/out" 2>"$printed/err"); }
out() { cat "$printed/out"; }
err() { cat "$printed/err"; }

run --help
code=$?
[ "$code" = 0 ] || fail "--help exits with $code"
for option in --help --version --pilot --check --simulate --seed --accuracy --rt --dual-cost --out; do
  out | grep -q -- "$option" || fail "--help does not list $option"
done

run --version
code=$?
[ "$code" = 0 ] || fail "--version exits with $code"
# The project's version and the commit the build was configured from (unknown outside a git checkout).
commit=$(git -C "$source_dir" rev-parse --verify HEAD 2>/dev/null || echo unknown)
[ "$(out)" = "pelorin $version (commit $commit)" ] || fail "--version prints '$(out)', not 'pelorin $version (commit $commit)'"

# Each refusal: the arguments, then the reason it must give.
refuse() {
  local reason=$1
  shift
  run "$@"
  local code=$?
  [ "$code" = 2 ] || fail "'$*' exits with $code, not 2"
  err | head -1 | grep -qF -- "pelorin: $reason" || fail "'$*' says '$(err | head -1)', not '$reason'"
  err | grep -q '^Usage: pelorin \[OPTIONS\]' || fail "'$*' does not print the usage"
  [ -z "$(out)" ] || fail "'$*' prints on standard output: $(out)"
  [ -z "$(ls -A "$work")" ] || fail "'$*' wrote into the folder: $(ls -A "$work")"
}
refuse "The following argument was not expected: --bogus" --bogus
refuse "The following argument was not expected: extra" extra
refuse "--simulate: Value 0 not in range 1 to 999" --simulate 0
refuse "--simulate: Value 1000 not in range 1 to 999" --simulate 1000
refuse "--simulate: Value abc not in range" --simulate abc
refuse "--simulate: 1 required N:INT" --simulate
refuse "--pilot excludes --simulate" --pilot --simulate 2
refuse "pilot was given a disallowed flag override" --pilot=0
refuse "--pilot excludes --check" --check --pilot
refuse "--simulate excludes --check" --check --simulate 2
refuse "check was given a disallowed flag override" --check=0
refuse "--seed requires --simulate" --seed 4
refuse "--out requires --simulate" --out Somewhere
refuse "Could not convert: --seed = 1.5" --simulate 1 --seed 1.5
refuse "--seed: Value -3 not in range" --simulate 1 --seed -3
refuse "--accuracy: Value 1.5 not in range" --simulate 1 --accuracy 1.5
refuse "--dual-cost: Value -1 not in range" --simulate 1 --dual-cost -1
refuse "--rt takes MEAN_MS,SD_MS" --simulate 1 --rt 600
refuse "--rt takes MEAN_MS,SD_MS" --simulate 1 --rt 600,fast
refuse "--rt: the mean must be above 0" --simulate 1 --rt 0,100
refuse "--rt: the mean must be above 0" --simulate 1 --rt 600,-5

# Simulated subjects never go into the folder's own subject list and Res_Data.
refuse "--out: . is the current folder" --simulate 1 --out .
refuse "--out: ../$(basename "$work") is the current folder" --simulate 1 --out "../$(basename "$work")"

# A run folder that cannot be made is no usage error: said, exit code 1, nothing written.
touch "$work/taken"
run --simulate 1 --out taken/sub
code=$?
[ "$code" = 1 ] || fail "--out into a file exits with $code, not 1"
err | grep -qF "cannot make the folder" || fail "--out into a file says '$(err)'"

[ "$failures" = 0 ] || exit 1
echo "all options answered as expected"
