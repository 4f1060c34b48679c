#!/usr/bin/env bash
# A dataset as a lab leaves it between sessions: participants.tsv with columns added (age, sex,
# handedness) and reordered and saved with CR LF, participants.json with their descriptions, one events
# file re-saved with CR LF, another with a column of the lab's, authors and licence in the dataset's
# description. Then a registration (a simulated subject): its row lands under the right columns with n/a
# in the lab's, every description the lab wrote stays, and both BIDS validators pass the dataset. The
# summary and the report read every run of it. Then the tables as Windows tools save them (a byte order
# mark, CR alone, a cell Excel quotes, a trailing empty line, an events file without its correct
# column) take a new subject's row and two runs' scans rows in their own line ends, and both validators
# still pass. Last, with a power cut's torn tail and a folder link in a loop, the readers read the rest,
# name what they skipped and say so in their exit code.
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
# readers [SUBJECTS RUNS]
readers() {
  local subjects=${1:-3} runs=${2:-3}
  "$summary" "$dataset" >"$work/summary.txt" 2>"$work/summary.err" && summary_status=0 || summary_status=$?
  [ "$(grep -oE '^sub-[0-9]+ ' "$work/summary.txt" | sort -u | wc -l)" = "$subjects" ] ||
    fail "pelorin-summary did not read the $subjects subjects: $(cat "$work/summary.txt" "$work/summary.err")"
  [ "$(grep -cE '^sub-[0-9]+ +[0-9]+ +1 ' "$work/summary.txt")" = "$runs" ] ||
    fail "pelorin-summary did not read the first block of $runs runs: $(cat "$work/summary.txt" "$work/summary.err")"
  report_status=0
  if [ -n "$report" ]; then
    "$report" "$dataset" -o "$work/page.html" >/dev/null 2>"$work/report.err" && report_status=0 || report_status=$?
    grep -q " $subjects subjects, $runs runs" "$work/page.html" ||
      fail "the page does not count $subjects subjects and $runs runs: $(cat "$work/report.err")"
  fi
}
readers
[ "$summary_status" = 0 ] || fail "pelorin-summary exit code $summary_status on the edited dataset: $(cat "$work/summary.err")"
[ "$report_status" = 0 ] || fail "pelorin-report exit code $report_status on the edited dataset: $(cat "$work/report.err")"

# The tables as Windows tools save them. participants.tsv from Excel's "CSV UTF-8" re-saved by Excel
# for Mac: a byte order mark, CR alone, a note quoted as Excel quotes a cell with quotes in it, and an
# empty last line; sub-2's scans table the same; sub-1's events file with CR LF and a trailing empty
# line, sub-2's with a byte order mark, sub-3's without its correct column. Then IDs 2 and 3 registered
# again (an edited subject list: their second runs) and a new subject 4. (The legacy validator refuses
# a table with CR alone and no LF: the rows Pelorin adds to the CR-only tables end in CR LF, and both
# validators pass them.)
/usr/bin/python3 - "$dataset" <<'PYTHON'
import json, sys
root = sys.argv[1]
def rewrite(path, change):
    text = open(path, newline="").read()
    open(path, "w", newline="").write(change(text))
rows = [line.split("\t") for line in open(f"{root}/participants.tsv", newline="").read().splitlines() if line]
rows[0].append("note")
for row in rows[1:]:
    row.append('"said ""stop"", then went on"' if row[0] == "sub-1" else "n/a")
open(f"{root}/participants.tsv", "w", newline="").write("\ufeff" + "\r".join("\t".join(row) for row in rows) + "\r\r")
described = json.load(open(f"{root}/participants.json"))
described["note"] = {"Description": "What the experimenter noted"}
json.dump(described, open(f"{root}/participants.json", "w"), indent=4)
rewrite(f"{root}/sub-2/sub-2_scans.tsv", lambda text: "\ufeff" + text.replace("\n", "\r"))
rewrite(f"{root}/sub-1/beh/sub-1_task-dualtask_events.tsv", lambda text: text + "\r\n")
rewrite(f"{root}/sub-2/beh/sub-2_task-dualtask_events.tsv", lambda text: "\ufeff" + text)
def without_correct(text):
    lines = text.split("\n")
    at = lines[0].split("\t").index("correct")
    return "\n".join("\t".join(cell for i, cell in enumerate(line.split("\t")) if i != at) if line else line
                     for line in lines)
rewrite(f"{root}/sub-3/beh/sub-3_task-dualtask_events.tsv", without_correct)
PYTHON
sed -i '/^ [23] /d' "$work/Lab/CurrentSubjects.txt"
(cd "$work" && "$pelorin" --simulate 3 --seed 8 --out Lab) >"$work/windows.txt" 2>&1 ||
  fail "the registrations into the tables as Windows saved them failed: $(cat "$work/windows.txt")"
[ "$(head -3 "$work/windows.txt" | tr '\n' ' ')" = "sub-2 sub-3 sub-4 " ] || fail "not subjects 2, 3, 4: $(cat "$work/windows.txt")"
condition=$(awk '$1 == 4 {print $3}' "$work/Lab/CurrentSubjects.txt")
participants=$(cat "$dataset/participants.tsv")
[[ "$participants" == *$'\tn/a\r\rsub-4\tn/a\tn/a\tn/a\t'"$condition"$'\tn/a\r' ]] &&
  [ "$(head -c 3 "$dataset/participants.tsv" | od -An -tx1 | tr -d ' ')" = efbbbf ] &&
  [ "$(tr -cd '\n' <"$dataset/participants.tsv" | wc -c)" = 1 ] ||
  fail "sub-4's row is not added after the lab's in their form: $(od -c "$dataset/participants.tsv" | tail -4)"
scans=$(cat "$dataset/sub-2/sub-2_scans.tsv")
[[ "$scans" == *$'+00:00\rbeh/sub-2_task-dualtask_run-2_events.tsv\t'*$'\r' ]] &&
  [ "$(tr -cd '\n' <"$dataset/sub-2/sub-2_scans.tsv" | wc -c)" = 1 ] ||
  fail "sub-2's second run is not added after the lab's rows in their form: $(od -c "$dataset/sub-2/sub-2_scans.tsv" | tail -4)"
check_validators "$dataset" "$validator"
readers 4 6
[ "$summary_status" = 0 ] || fail "pelorin-summary exit code $summary_status on the tables Windows saved: $(cat "$work/summary.err")"
[ "$report_status" = 0 ] || fail "pelorin-report exit code $report_status on the tables Windows saved: $(cat "$work/report.err")"

# A power cut in the middle of a row (half a line, then the NULs a file system leaves) and a folder link
# in a loop: the rest is read, each skip named with its file (and line), the exit code 1.
third=$dataset/sub-3/beh/sub-3_task-dualtask_events.tsv
printf '61.250000\tn/a\tresp' >>"$third"
head -c 64 /dev/zero >>"$third"
ln -s sub-9 "$dataset/sub-9"
readers 4 6
[ "$summary_status" = 1 ] || fail "pelorin-summary exit code $summary_status, not 1, with a torn tail and a loop"
grep -q "sub-3_task-dualtask_events.tsv: line [0-9]*: " "$work/summary.err" || fail "pelorin-summary does not name the torn tail: $(cat "$work/summary.err")"
grep -q "sub-9" "$work/summary.err" || fail "pelorin-summary does not name the link in a loop: $(cat "$work/summary.err")"
if [ -n "$report" ]; then
  [ "$report_status" = 1 ] || fail "pelorin-report exit code $report_status, not 1, with a torn tail and a loop"
  grep -q "sub-3_task-dualtask_events.tsv: line [0-9]*: " "$work/report.err" || fail "pelorin-report does not name the torn tail: $(cat "$work/report.err")"
fi
echo "lab edits: the row under the lab's columns in the table's own form, the lab's descriptions kept, both validators pass, the readers read what can be read"
