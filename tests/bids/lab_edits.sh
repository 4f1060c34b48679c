#!/usr/bin/env bash
# A dataset as a lab leaves it between sessions: participants.tsv with columns added (age, sex,
# handedness) and reordered and saved with CR LF, participants.json with their descriptions, one events
# file re-saved with CR LF, another with a column of the lab's, authors and licence in the dataset's
# description. Then a registration (a simulated subject): its row lands under the right columns with n/a
# in the lab's, every description the lab wrote stays, and both BIDS validators pass the dataset. The
# summary and the report read every run of it; then, with a power cut's torn tail and a folder link in
# a loop, they read the rest, name what they skipped and say so in their exit code.
#   lab_edits.sh PELORIN MAKE_WAVES DEMO_DIR VALIDATOR SUMMARY [REPORT]
set -euo pipefail
pelorin=$1 make_waves=$2 demo=$3 validator=$4 summary=$5 report=${6:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
source "$(dirname "$0")/check_dataset.sh"

cp "$demo/instruction.txt" "$work/"
mkdir "$work/wave"
"$make_waves" "$work/wave" >/dev/null
(cd "$work" && "$pelorin" --simulate 2 --seed 7 --out Lab) >/dev/null || fail "the first sessions failed"
dataset=$work/Lab/Res_Data

/usr/bin/python3 - "$dataset" <<'PYTHON'
import json, sys
root = sys.argv[1]
# The order conditions as Pelorin wrote them, under the lab's columns in the lab's order.
rows = [line.split("\t") for line in open(f"{root}/participants.tsv").read().splitlines()]
assert rows[0] == ["participant_id", "order_condition"], rows[0]
condition = {row[0]: row[1] for row in rows[1:]}
# participant_id stays first: BIDS asks it of the table (the schema-based validator fails it elsewhere).
lines = ["participant_id\tage\tsex\thandedness\torder_condition",
         f"sub-1\t23\tF\tR\t{condition['sub-1']}",
         f"sub-2\t31\tM\tL\t{condition['sub-2']}"]
open(f"{root}/participants.tsv", "w", newline="").write("\r\n".join(lines) + "\r\n")
described = json.load(open(f"{root}/participants.json"))
described["age"] = {"Description": "Age at the session", "Units": "year"}
described["sex"] = {"Description": "Sex as the subject gave it", "Levels": {"F": "female", "M": "male"}}
described["handedness"] = {"Description": "Writing hand", "Levels": {"L": "left", "R": "right"}}
json.dump(described, open(f"{root}/participants.json", "w"), indent=4)
# What only the lab can say, once.
description = json.load(open(f"{root}/dataset_description.json"))
description["Authors"] = ["A. Tester", "B. Tester"]
description["License"] = "CC0"
json.dump(description, open(f"{root}/dataset_description.json", "w"), indent=2)
# A spreadsheet's re-save of one events file, and a column of the lab's in another.
first = f"{root}/sub-1/beh/sub-1_task-dualtask_events.tsv"
text = open(first, newline="").read()
open(first, "w", newline="").write(text.replace("\n", "\r\n"))
second = f"{root}/sub-2/beh/sub-2_task-dualtask_events.tsv"
lines = open(second, newline="").read().splitlines()
lines = [lines[0] + "\trater_note"] + [line + ("\tchecked" if i == 0 else "\tn/a") for i, line in enumerate(lines[1:])]
open(second, "w", newline="").write("\n".join(lines) + "\n")
sidecar_path = second[: -len(".tsv")] + ".json"
sidecar = json.load(open(sidecar_path))
sidecar["rater_note"] = {"Description": "What the lab's rater noted about the row"}
json.dump(sidecar, open(sidecar_path, "w"), indent=2)
PYTHON
cp "$dataset/participants.json" "$work/participants.json.lab"
cp "$dataset/dataset_description.json" "$work/dataset_description.json.lab"

(cd "$work" && "$pelorin" --simulate 1 --seed 7 --out Lab) >"$work/third.txt" 2>&1 ||
  fail "the registration into the edited dataset failed: $(cat "$work/third.txt")"
head -1 "$work/third.txt" | grep -qx sub-3 || fail "not subject 3: $(cat "$work/third.txt")"
condition=$(awk '$1 == 3 {print $3}' "$work/Lab/CurrentSubjects.txt")
[ "$(tail -1 "$dataset/participants.tsv")" = $'sub-3\tn/a\tn/a\tn/a\t'"$condition"$'\r' ] ||
  fail "sub-3's row is not under the lab's columns: $(cat -A "$dataset/participants.tsv")"
[ "$(grep -c $'\r$' "$dataset/participants.tsv")" = 4 ] || fail "the line ends are mixed: $(cat -A "$dataset/participants.tsv")"
cmp "$dataset/participants.json" "$work/participants.json.lab" || fail "participants.json was changed"
cmp "$dataset/dataset_description.json" "$work/dataset_description.json.lab" || fail "dataset_description.json was changed"
check_validators "$dataset" "$validator"

# The readers: every run of the edited dataset (CR LF, the lab's column), nothing skipped.
readers() {
  "$summary" "$dataset" >"$work/summary.txt" 2>"$work/summary.err" && summary_status=0 || summary_status=$?
  [ "$(grep -cE '^sub-[123] ' "$work/summary.txt")" -ge 3 ] && [ "$(grep -oE '^sub-[123] ' "$work/summary.txt" | sort -u | wc -l)" = 3 ] ||
    fail "pelorin-summary did not read the three subjects: $(cat "$work/summary.txt" "$work/summary.err")"
  report_status=0
  if [ -n "$report" ]; then
    "$report" "$dataset" -o "$work/page.html" >/dev/null 2>"$work/report.err" && report_status=0 || report_status=$?
    grep -q ' 3 subjects, 3 runs' "$work/page.html" || fail "the page does not count 3 subjects and runs: $(cat "$work/report.err")"
  fi
}
readers
[ "$summary_status" = 0 ] || fail "pelorin-summary exit code $summary_status on the edited dataset: $(cat "$work/summary.err")"
[ "$report_status" = 0 ] || fail "pelorin-report exit code $report_status on the edited dataset: $(cat "$work/report.err")"

# A power cut in the middle of a row (half a line, then the NULs a file system leaves) and a folder link
# in a loop: the rest is read, each skip named with its file (and line), the exit code 1.
third=$dataset/sub-3/beh/sub-3_task-dualtask_events.tsv
printf '61.250000\tn/a\tresp' >>"$third"
head -c 64 /dev/zero >>"$third"
ln -s sub-9 "$dataset/sub-9"
readers
[ "$summary_status" = 1 ] || fail "pelorin-summary exit code $summary_status, not 1, with a torn tail and a loop"
grep -q "sub-3_task-dualtask_events.tsv: line [0-9]*: " "$work/summary.err" || fail "pelorin-summary does not name the torn tail: $(cat "$work/summary.err")"
grep -q "sub-9" "$work/summary.err" || fail "pelorin-summary does not name the link in a loop: $(cat "$work/summary.err")"
if [ -n "$report" ]; then
  [ "$report_status" = 1 ] || fail "pelorin-report exit code $report_status, not 1, with a torn tail and a loop"
  grep -q "sub-3_task-dualtask_events.tsv: line [0-9]*: " "$work/report.err" || fail "pelorin-report does not name the torn tail: $(cat "$work/report.err")"
fi
echo "lab edits: the row under the lab's columns, the lab's descriptions kept, both validators pass, the readers read what can be read"
