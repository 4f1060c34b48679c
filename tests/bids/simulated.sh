#!/usr/bin/env bash
# pelorin --simulate 3 --seed 1, twice: the same files byte for byte; a dataset marked as simulated
# that the BIDS validator passes and pandas reads; and, read back by pelorin-summary's CSV, answers as
# the options asked for: the share correct within 0.05 of --accuracy (some 500 answers: about four
# standard errors), the single blocks' median response times within 10 % of the distribution's
# median, and the dual blocks' later by --dual-cost within 30 %.
#   simulated.sh PELORIN MAKE_WAVES DEMO_DIR SUMMARY DATASET_DRIVER VALIDATOR
set -euo pipefail
pelorin=$1 make_waves=$2 demo=$3 summary=$4 driver=$5 validator=$6
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
source "$(dirname "$0")/check_dataset.sh"

cp "$demo/instruction.txt" "$work/"
mkdir "$work/wave"
"$make_waves" "$work/wave" >/dev/null
"$driver" --columns >"$work/columns.tsv"
options=(--simulate 3 --seed 1 --accuracy 0.8 --rt 550,120 --dual-cost 300)

(cd "$work" && "$pelorin" "${options[@]}") >"$work/first.txt" || fail "the first simulation failed"
(cd "$work" && "$pelorin" "${options[@]}" --out Again) >"$work/second.txt" || fail "the second simulation failed"
cat "$work/first.txt"
diff -r "$work/Simulated_Data" "$work/Again" || fail "the same seed wrote different files"
[ "$(head -3 "$work/first.txt")" = $'sub-1\nsub-2\nsub-3' ] || fail "not three subjects: $(cat "$work/first.txt")"
dataset=$work/Simulated_Data/Res_Data
grep -q '"Name": "Pelorin dual-task experiment: simulated runs"' "$dataset/dataset_description.json" ||
  fail "the dataset is not marked as simulated: $(cat "$dataset/dataset_description.json")"
grep -q 'seed 1: response times lognormal with mean 550 ms and SD 120 ms, 300 ms more' "$dataset/README" ||
  fail "the README does not say how the subjects were simulated"
check_dataset "$dataset" "$validator" "$work/columns.tsv"
# Nothing was played to an output: every tone row says so, as the sidecar does.
for events in "$dataset"/sub-*/beh/*_events.tsv; do
  grep -q '"Silent": true' "${events%.tsv}.json" || fail "$events: the sidecar does not say the run was silent"
  awk -F'\t' 'NR == 1 { for (i = 1; i <= NF; i++) c[$i] = i; next }
    $c["trial_type"] == "tone" && $c["onset_source"] != "virtual_clock" { exit 1 }' "$events" ||
    fail "$events: a tone row that does not say it was never played"
done

"$summary" --csv "$work/summary.csv" "$dataset" >/dev/null || fail "pelorin-summary refuses the dataset"
/usr/bin/python3 - "$work/summary.csv" <<'PYTHON' || fail "the answers do not match the options"
import csv, math, statistics, sys
rows = list(csv.DictReader(open(sys.argv[1])))
accuracy, mean, sd, cost = 0.8, 550, 120, 300
lognormal_median = lambda m: m / math.sqrt(1 + (sd / m) ** 2) / 1000
answers = [r for r in rows if r["channel"] in ("tone", "letter") and int(r["answered"]) > 0]
subjects = sorted({r["participant_id"] for r in rows})
blocks = sorted({(r["participant_id"], r["block"], r["task"]) for r in rows})
print("subjects", subjects, "blocks", len(blocks))
assert subjects == ["sub-1", "sub-2", "sub-3"], subjects
assert [b[2] for b in blocks] == ["tone", "letter", "dual"] * 3, blocks
answered = sum(int(r["answered"]) for r in answers)
share = sum(int(r["correct"]) for r in answers) / answered
print(f"share correct {share:.3f} of {answered} answers (asked {accuracy})")
assert abs(share - accuracy) <= 0.05
single = statistics.mean(float(r["median_rt_correct"]) for r in answers if r["task"] != "dual")
dual = statistics.mean(float(r["median_rt_correct"]) for r in answers if r["task"] == "dual")
expected_single, expected_dual = lognormal_median(mean), lognormal_median(mean + cost)
print(f"median RT single blocks {single:.3f} s (distribution {expected_single:.3f}), "
      f"dual {dual:.3f} s (distribution {expected_dual:.3f})")
assert abs(single - expected_single) <= 0.10 * expected_single
assert abs((dual - single) - (expected_dual - expected_single)) <= 0.30 * (expected_dual - expected_single)
PYTHON
echo "simulated: the same files twice, a valid dataset, the answers the options asked for"
