#!/usr/bin/env bash
# pelorin-summary and pelorin-report on a dataset a lab's hands have been at: an events file re-saved
# with CR LF and a column added, a tail torn by a power cut, a sub-* link in a loop, participants.tsv
# with a column added and a subject twice. Both read what can be read, name each thing skipped with
# its file and line, and exit with 1; on the dataset put right, with 0. --help gives the exit codes.
# Given no folder, a run folder or a folder without a dataset, they read the dataset meant or nothing.
#   readers_lab.sh PELORIN_SUMMARY PELORIN_REPORT
set -euo pipefail
summary=$1
report=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
data=$work/Res_Data

header=$'onset\tduration\ttrial_type\tblock\ttask\tstimulus\tkey\tchannel\tcorrect\tresponse_time\ttone_bar\tletter_bar\tquit_answer\tonset_source'
block=$'1.000000\tn/a\tblock_start\t1\ttone\tn/a\tn/a\tn/a\tn/a\tn/a\t0.333\t0.333\tn/a\tn/a
1.000000\t0.100000\ttone\t1\ttone\t500Hz\tn/a\tn/a\tn/a\tn/a\t0.333\t0.333\tn/a\taudio_clock
1.300000\tn/a\tresponse\t1\ttone\t500Hz\ts\ttone\t1\t0.300000\t0.281\t0.338\tn/a\tn/a
61.000000\tn/a\ttime_up\t1\ttone\tn/a\tn/a\tn/a\tn/a\tn/a\t0.990\t0.999\tn/a\tn/a'
events() { echo "$data/$1/beh/$1_task-dualtask_events.tsv"; }
write() { mkdir -p "$data/$1/beh"; cat >"$(events "$1")"; }
printf '%s\n%s\n' "$header" "$block" | write sub-1
printf '%s\n%s\n' "$header" "$block" | sed $'s/^/checked\t/; s/$/\r/' | write sub-2
{ printf '%s\n%s\n' "$header" "$block"; printf '1.900000\tn/a\tresp'; } | write sub-10
ln -s sub-7 "$data/sub-7"
printf 'age\tparticipant_id\torder_condition\r\n23\tsub-2\t1\r\n31\tsub-10\t2\r\n23\tsub-2\t1\r\n' >"$data/participants.tsv"

for tool in "$summary" "$report"; do
  "$tool" --help >"$work/help.txt" || fail "$tool --help failed"
  grep -qi "^exit code: 0 " "$work/help.txt" || fail "$tool --help gives no exit codes: $(cat "$work/help.txt")"
done

expect_skipped() {
  grep -q "$data/sub-7: cannot read: " "$1" || fail "$2 does not name the link in a loop: $(cat "$1")"
  grep -q "$(events sub-10): line 6: cut off: it has no line end" "$1" ||
    fail "$2 does not name the torn tail: $(cat "$1")"
}
"$summary" "$data" >"$work/summary.txt" 2>"$work/summary.err" && status=0 || status=$?
[ "$status" = 1 ] || fail "pelorin-summary exit code $status, not 1: $(cat "$work/summary.err")"
expect_skipped "$work/summary.err" pelorin-summary
[ "$(grep -cE '^sub-(1|2|10) +1 +1  tone +time_up +tone +1 +1 +1 +1.000 +0.300' "$work/summary.txt")" = 3 ] ||
  fail "pelorin-summary did not read the three runs: $(cat "$work/summary.txt")"

"$report" "$data" -o "$work/page.html" >/dev/null 2>"$work/report.err" && status=0 || status=$?
[ "$status" = 1 ] || fail "pelorin-report exit code $status, not 1: $(cat "$work/report.err")"
expect_skipped "$work/report.err" pelorin-report
grep -q ' 3 subjects, 3 runs, 3 blocks' "$work/page.html" || fail "the page does not count 3 subjects: $(grep -o 'Made by[^<]*' "$work/page.html")"
grep -q '<li class="skipped">.*sub-10_task-dualtask_events.tsv: line 6: cut off' "$work/page.html" ||
  fail "the page does not name the torn tail"

# Put right: nothing skipped, exit code 0.
rm "$data/sub-7"
printf '%s\n%s\n' "$header" "$block" | write sub-10
"$summary" "$data" >/dev/null || fail "pelorin-summary exit code $? on a whole dataset"
"$report" "$data" -o "$work/page.html" >/dev/null || fail "pelorin-report exit code $? on a whole dataset"
# The folder the user meant: options alone read ./Res_Data; a run folder stands for its Res_Data, said
# so; a folder with no dataset is refused with where it looked, and nothing is written, derivatives/
# neither.
(cd "$work" && "$summary" --csv summary.csv >/dev/null && "$report" -o page.html >/dev/null) ||
  fail "options alone do not read ./Res_Data"
[ -s "$work/summary.csv" ] && [ -s "$work/page.html" ] || fail "options alone wrote no CSV or page"
for tool in "$summary" "$report"; do
  "$tool" "$work" >/dev/null 2>"$work/said.txt" || fail "$tool on the run folder exits with $?: $(cat "$work/said.txt")"
  grep -qF "$work is a run folder: reading its dataset, $data" "$work/said.txt" || fail "$tool does not say: $(cat "$work/said.txt")"
done
mkdir "$work/Elsewhere"
"$summary" --csv "$work/Elsewhere/summary.csv" "$work/Elsewhere" >/dev/null 2>"$work/said.txt" && status=0 || status=$?
[ "$status" = 1 ] && grep -qF "$work/Elsewhere holds no dataset" "$work/said.txt" ||
  fail "pelorin-summary on a folder without a dataset: exit code $status, $(cat "$work/said.txt")"
"$report" "$work/Elsewhere" >/dev/null 2>"$work/said.txt" && status=0 || status=$?
[ "$status" = 3 ] && grep -qF "$work/Elsewhere holds no dataset" "$work/said.txt" ||
  fail "pelorin-report on a folder without a dataset: exit code $status, $(cat "$work/said.txt")"
[ -z "$(ls -A "$work/Elsewhere")" ] || fail "a folder without a dataset got: $(ls -A "$work/Elsewhere")"
echo "readers: a lab-edited dataset read as far as it can be, each skip named, the exit codes right, the folder meant read"
