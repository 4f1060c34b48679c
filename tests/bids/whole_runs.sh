#!/usr/bin/env bash
# A dataset made by whole runs on the test host (five subjects, one with a second run, in English and
# every shipped language, and an earlier version's file at the top) passes the BIDS validator without an
# error and reads right in pandas; each sidecar says the language and the announcements as shown, and
# the data's own words stay English whatever the language.
#   whole_runs.sh DATASET_DRIVER VALIDATOR
set -euo pipefail
driver=$1
validator=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
source "$(dirname "$0")/check_dataset.sh"

"$driver" "$work" >/dev/null
"$driver" --columns >"$work/columns.tsv"
for file in dataset_description.json README participants.tsv participants.json scans.json .bidsignore \
  sub-1/beh/sub-1_task-dualtask_events.tsv sub-2/beh/sub-2_task-dualtask_run-2_events.json sub-2/sub-2_scans.tsv; do
  [ -f "$work/Res_Data/$file" ] || fail "no $file"
done
[ "$(cat "$work/Res_Data/participants.tsv")" = $'participant_id\torder_condition\nsub-1\t2\nsub-2\t1\nsub-3\t1\nsub-4\t2\nsub-5\t1' ] ||
  fail "participants.tsv: $(cat "$work/Res_Data/participants.tsv")"
[ "$(wc -l <"$work/Res_Data/sub-2/sub-2_scans.tsv")" = 3 ] || fail "sub-2's scans: $(cat "$work/Res_Data/sub-2/sub-2_scans.tsv")"
sidecar=$work/Res_Data/sub-2/beh/sub-2_task-dualtask_events.json
grep -qF '"Language": "el",' "$sidecar" || fail "sub-2's sidecar does not say its language: $(cat "$sidecar")"
grep -qF '"Announcements": {"tone": "Ξεκινάμε με μια δοκιμή όπου απαντάτε μόνο σε ήχους.", "letter": ' "$sidecar" ||
  fail "sub-2's sidecar does not hold the announcements as shown: $(cat "$sidecar")"
grep -qF '"Language": "en",' "$work/Res_Data/sub-1/beh/sub-1_task-dualtask_events.json" || fail "sub-1's sidecar is not English"
grep -qF '"Language": "de",' "$work/Res_Data/sub-2/beh/sub-2_task-dualtask_run-2_events.json" || fail "sub-2's second run is not German"
for n in 1 2 3 4 5; do
  levels=$(awk -F'\t' 'FNR > 1 {print $3; print $5}' "$work/Res_Data/sub-$n/beh/"*_events.tsv | tr '\t' '\n' | sort -u | tr '\n' ' ')
  [ -z "$(tr ' ' '\n' <<<"$levels" | grep -vxE 'block_start|tone|letter|response|overflow|time_up|quit_question|quit|dual|n/a|' || true)" ] ||
    fail "sub-$n's trial types and tasks are not the data's English: $levels"
done
# The initials stay in the subject list: the earlier version's sidecar held some, and keeps them.
grep -r -l -I "kvt" "$work/Res_Data" && fail "the initials are in the dataset"
check_dataset "$work/Res_Data" "$validator" "$work/columns.tsv" tab space quote apostrophe backslash $'\u00e9' $'\u00df' $'\u00a7' '#' ,
echo "whole runs: the dataset validates and reads right"
