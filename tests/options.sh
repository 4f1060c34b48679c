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
for option in --help --version --pilot --check --simulate --seed --accuracy --rt --dual-cost --out --demo-folder; do
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
refuse "--simulate excludes --demo-folder" --demo-folder Lab --simulate 2
refuse "--pilot excludes --demo-folder" --demo-folder Lab --pilot
refuse "--demo-folder: 1 required DIR missing" --demo-folder
refuse "Could not convert: --seed = 1.5" --simulate 1 --seed 1.5
refuse "--seed: Value -3 not in range" --simulate 1 --seed -3
refuse "--accuracy: Value 1.5 not in range" --simulate 1 --accuracy 1.5
refuse "--dual-cost: Value -1 not in range" --simulate 1 --dual-cost -1
refuse "--rt takes MEAN_MS,SD_MS" --simulate 1 --rt 600
refuse "--rt takes MEAN_MS,SD_MS" --simulate 1 --rt 600,fast
refuse "--rt: the mean must be above 0" --simulate 1 --rt 0,100
refuse "--rt: the mean must be above 0" --simulate 1 --rt 600,-5

refuse "--display: Value -1 not in range" --display -1
refuse "--display: Value abc not in range" --display abc
refuse "--simulate excludes --display" --display 1 --simulate 2

# Simulated subjects never go into the folder's own subject list and Res_Data.
refuse "--out: . is the current folder" --simulate 1 --out .
refuse "--out: ../$(basename "$work") is the current folder" --simulate 1 --out "../$(basename "$work")"

# Nor into them by another way: resolved, the folder is not the current one, nor its Res_Data or inside
# it, nor a folder whose records are links to the lab's. The lab's records stay as they were.
mkdir "$work/Res_Data" "$work/Elsewhere"
ln -s .. "$work/Elsewhere/up"
ln -s "$work/Res_Data" "$work/Linked"
mkdir "$work/Crossed"
ln -s ../Res_Data "$work/Crossed/Res_Data"
lab_records=$(cd "$work" && find . | sort)
refuse_out() {
  local reason=$1
  shift
  run "$@"
  local code=$?
  [ "$code" = 2 ] || fail "'$*' exits with $code, not 2"
  err | head -1 | grep -qF -- "pelorin: $reason" || fail "'$*' says '$(err | head -1)', not '$reason'"
  [ "$(cd "$work" && find . | sort && if [ -f Res_Data/participants.tsv ]; then cat Res_Data/participants.tsv; fi)" = "$lab_records" ] ||
    fail "'$*' wrote into the folder: $(cd "$work" && find . | sort)"
}
refuse_out "--out: Elsewhere/up is the current folder" --simulate 1 --out Elsewhere/up
refuse_out "--out: Res_Data is or lies inside the current folder's Res_Data" --simulate 1 --out Res_Data
refuse_out "--out: Res_Data/sims is or lies inside the current folder's Res_Data" --simulate 1 --out Res_Data/sims
refuse_out "--out: Linked is or lies inside the current folder's Res_Data" --simulate 1 --out Linked
refuse_out "--out: Elsewhere/../Res_Data/x is or lies inside the current folder's Res_Data" \
  --simulate 1 --out Elsewhere/../Res_Data/x
refuse_out "--out: Crossed holds a Res_Data that is or lies inside the current folder's" --simulate 1 --out Crossed
# A link to a Res_Data the lab has not made yet.
mkdir "$work/Ahead"
ln -s ../Res_Data/later "$work/Ahead/Res_Data"
lab_records=$(cd "$work" && find . | sort)
refuse_out "--out: Ahead holds a Res_Data that is or lies inside the current folder's" --simulate 1 --out Ahead
# A Res_Data of its own whose entries are the lab's: a copy made of hard links, a subject's folder linked
# in. A write through either would land in the lab's records, so the files are compared by identity.
mkdir "$work/Res_Data/sub-1"
printf 'participant_id\torder_condition\nsub-1\t2\n' >"$work/Res_Data/participants.tsv"
mkdir "$work/Copied" "$work/Linking" "$work/Linking/Res_Data"
cp -al "$work/Res_Data" "$work/Copied/Res_Data"
ln -s ../../Res_Data/sub-1 "$work/Linking/Res_Data/sub-1"
lab_records=$(cd "$work" && find . | sort && cat Res_Data/participants.tsv)
refuse_out "--out: Copied holds Res_Data/participants.tsv, which is also in the current folder's Res_Data (a link or a hard link to it)" \
  --simulate 1 --out Copied
refuse_out "--out: Linking holds Res_Data/sub-1, which is also in the current folder's Res_Data (a link or a hard link to it)" \
  --simulate 1 --out Linking

# A pilot's folder must be a real folder of its own: a file or a link there is refused before any window
# opens (none could: no display), with the reason, exit code 1, nothing written.
refuse_pilot() {
  local reason=$1
  run --pilot
  local code=$?
  [ "$code" = 1 ] || fail "--pilot with $(ls -ld "$work/Pilot_Data") exits with $code, not 1"
  err | grep -qF -- "$reason" || fail "--pilot says '$(err)', not '$reason'"
  [ "$(cd "$work" && find . | sort)" = "$lab_records" ] || fail "--pilot wrote into the folder: $(cd "$work" && find . | sort)"
}
ln -s . "$work/Pilot_Data"
lab_records=$(cd "$work" && find . | sort)
refuse_pilot "Pilot_Data is a link to another folder: a pilot writes only into a real folder of its own"
rm "$work/Pilot_Data"
touch "$work/Pilot_Data"
lab_records=$(cd "$work" && find . | sort)
refuse_pilot "Pilot_Data is no folder: a pilot writes only into a folder of its own"
rm "$work/Pilot_Data"
mkdir "$work/Pilot_Data"
ln -s ../CurrentSubjects.txt "$work/Pilot_Data/CurrentSubjects.txt"
touch "$work/CurrentSubjects.txt"
lab_records=$(cd "$work" && find . | sort)
refuse_pilot "Pilot_Data holds the current folder's subject list: a pilot writes only into a folder of its own"
# The same link before the lab has registered anyone: it would make the lab's list.
rm "$work/CurrentSubjects.txt"
lab_records=$(cd "$work" && find . | sort)
refuse_pilot "Pilot_Data holds the current folder's subject list: a pilot writes only into a folder of its own"
# Its Res_Data holding a link to a subject's folder of the lab's.
rm "$work/Pilot_Data/CurrentSubjects.txt"
mkdir "$work/Pilot_Data/Res_Data"
ln -s ../../Res_Data/sub-1 "$work/Pilot_Data/Res_Data/sub-1"
lab_records=$(cd "$work" && find . | sort)
refuse_pilot "Pilot_Data holds Res_Data/sub-1, which is also in the current folder's Res_Data"
rm -r "$work"/* 

# A run folder that cannot be made is no usage error: said, exit code 1, nothing written.
touch "$work/taken"
run --simulate 1 --out taken/sub
code=$?
[ "$code" = 1 ] || fail "--out into a file exits with $code, not 1"
err | grep -qF "cannot make the folder" || fail "--out into a file says '$(err)'"

# A demo run folder: the demo's instruction text and the four sounds, made with the folders above
# them; a file the lab has there already is kept byte for byte, and only what is missing is written.
demo_dir=$(dirname "$0")/../demo
run --demo-folder lab/one
code=$?
[ "$code" = 0 ] || fail "--demo-folder exits with $code: $(err)"
cmp -s "$work/lab/one/instruction.txt" "$demo_dir/instruction.txt" || fail "--demo-folder's instruction.txt is not the demo's"
for name in 200 500 800 error; do
  [ "$(head -c 4 "$work/lab/one/wave/$name.wav")" = RIFF ] || fail "--demo-folder wrote no wave/$name.wav"
done
echo "our own words" >"$work/lab/one/instruction.txt"
rm "$work/lab/one/wave/500.wav"
run --demo-folder lab/one
[ "$(cat "$work/lab/one/instruction.txt")" = "our own words" ] || fail "--demo-folder replaced the lab's instruction.txt"
out | grep -q "^kept .*instruction.txt" || fail "--demo-folder does not say it kept instruction.txt: $(out)"
out | grep -q "^written .*500.wav" || fail "--demo-folder does not say it wrote 500.wav: $(out)"
[ -s "$work/lab/one/wave/500.wav" ] || fail "--demo-folder did not write the missing 500.wav"
[ -z "$(find "$work/lab" -name '*.partial')" ] || fail "--demo-folder left a partial file"
# A folder that cannot be made: said, exit code 1.
run --demo-folder taken/lab
code=$?
[ "$code" = 1 ] || fail "--demo-folder into a file exits with $code, not 1"
err | grep -qF "cannot make" || fail "--demo-folder into a file says '$(err)'"
rm -rf "$work/lab"

# The run folder's settings file: what it cannot use is said with its line and skipped; a display
# that is no number refuses the run, exit code 2, before anything else is written.
rm "$work/taken"
printf '# the subjects\x27 monitor\r\nmonitor = 1\r\ndisplay = abc\r\n' >"$work/pelorin.ini"
run
code=$?
[ "$code" = 2 ] || fail "display = abc in pelorin.ini exits with $code, not 2"
err | grep -qxF 'pelorin: pelorin.ini line 2: unknown setting "monitor"; skipped' || fail "the unknown setting: '$(err)'"
err | grep -qxF 'pelorin: pelorin.ini line 3: display takes a display'"'"'s number (0 is the first), not "abc"' ||
  fail "display = abc in pelorin.ini says '$(err)'"
[ "$(ls -A "$work")" = pelorin.ini ] || fail "a refused settings file left: $(ls -A "$work")"
# The command line wins, setting by setting: the file's display it cannot read is skipped, not fatal.
run --display 0
err | grep -qxF 'pelorin: pelorin.ini line 3: display takes a display'"'"'s number (0 is the first), not "abc"; skipped, --display 0 holds' ||
  fail "--display 0 with display = abc in pelorin.ini says '$(err)'"

# Languages: the help lists those at hand, a lab's file among them; a language not at hand is refused
# with the list, from the command line or from pelorin.ini (which says where), exit code 2, nothing
# written; a lab's file that cannot be read is named and the run goes on with the texts it has.
rm "$work/pelorin.ini"
printf 'msgctxt "quit.question"\nmsgid "Do you really want to quit?"\nmsgstr "Quer mesmo sair?"\n' >"$work/pelorin-pt_BR.po"
run --help
out | grep -q -- '--language LANG .*at hand here: de, el, en, es, fr, nl, pt-BR\.' || fail "--help lists no languages: $(out | grep -- --language)"
run --language xx
code=$?
[ "$code" = 2 ] || fail "--language xx exits with $code, not 2"
err | grep -qxF 'pelorin: --language: no language "xx" at hand; the languages at hand are de, el, en, es, fr, nl, pt-BR (a lab adds one as pelorin-LANG.po beside instruction.txt)' ||
  fail "--language xx says '$(err)'"
printf 'language = klingon\r\n' >"$work/pelorin.ini"
run
code=$?
[ "$code" = 2 ] || fail "language = klingon in pelorin.ini exits with $code, not 2"
err | grep -qF 'pelorin: pelorin.ini line 1: no language "klingon" at hand; the languages at hand are de, el' ||
  fail "language = klingon in pelorin.ini says '$(err)'"
[ "$(ls -A "$work" | sort | tr '\n' ' ')" = "pelorin-pt_BR.po pelorin.ini " ] || fail "a refused language left: $(ls -A "$work")"
# The command line wins over the file: pt-BR is taken however it is written, and the texts its file
# lacks are named on one line (the one it has is not). Without a display the run then stops at its window.
run --language PT-br
err | grep -q '^pelorin: language pt-BR has no text for greet.welcome, .*; they are shown in English$' ||
  fail "--language PT-br does not name the texts it lacks: '$(err)'"
err | grep -q 'quit.question' && fail "--language PT-br names a text its file has: '$(err)'"
# A lab's German file that is no .po file: named, with its line, and its texts not used.
printf 'msgctxt "quit.question"\nmsgstr "Wirklich?"\n' >"$work/pelorin-de.po"
run --language de
err | grep -qF "pelorin-de.po: line 2: msgstr without its msgid; its texts are not used" || fail "a malformed pelorin-de.po: '$(err)'"
err | grep -q "cannot open a window\|no display" || fail "a malformed pelorin-de.po stopped the run before its window: '$(err)'"
rm "$work"/pelorin*
# Simulated subjects in a language: refused as the experiment is when it is not at hand; their
# sidecars say the one they ran in.
run --simulate 1 --language xx
code=$?
[ "$code" = 2 ] && [ -z "$(ls -A "$work")" ] || fail "--simulate 1 --language xx exits with $code, leaving $(ls -A "$work")"
run --simulate 1 --language el --out Greek
grep -qF '"Language": "el"' "$work/Greek/Res_Data/sub-1/beh/sub-1_task-dualtask_events.json" ||
  fail "a simulated subject in Greek: $(err)"
rm -rf "$work/Greek"

[ "$failures" = 0 ] || exit 1
echo "all options answered as expected"
