#!/usr/bin/env bash
# A disk that fails under one file of the dataset, through strace's fault injection aimed at that file
# alone, in simulated runs: a shared table that cannot be written (a full disk under a new scans.tsv, an
# I/O error under participants.tsv) takes nothing of the run with it, leaves no empty or partial file,
# names itself, and its row waits beside it until a later run adds it; an events file that cannot be
# made leaves nothing of its run. Both BIDS validators pass the mended dataset with the files rows wait
# in beside its tables.
#   results_faults.sh PELORIN DATASET_DRIVER VALIDATOR
set -euo pipefail
pelorin=$1 driver=$2 validator=$3
source "$(dirname "$0")/strace_lib.sh"
source "$(dirname "$0")/bids/check_dataset.sh"
data=$work/Lab/Res_Data
"$pelorin" --demo-folder "$work" >/dev/null

# One simulated subject into Lab, every write to FILE failing with ERROR when one is given; the exit code
# goes to code, standard error to $work/err.
code=0
simulate() {
  local target=${1:-} error=${2:-}
  local inject=()
  [ -n "$target" ] && inject=(strace -f -qq -o /dev/null -P "$target" -e trace=write -e "inject=write:error=$error")
  code=0
  (cd "$work" && "${inject[@]}" "$pelorin" --simulate 1 --out Lab >/dev/null 2>"$work/err") || code=$?
}
said() { grep -qF -- "$1" "$work/err" || fail "not said: '$1'; said: $(cat "$work/err")"; }

simulate
[ "$code" = 0 ] || fail "the first run ended with $code: $(cat "$work/err")"

# A full disk under sub-2's new scans.tsv: no empty file, the run's own files written, the row waiting.
simulate "$data/sub-2/sub-2_scans.tsv" ENOSPC
[ "$code" = 1 ] || fail "a run whose scans row waits ended with $code"
[ ! -e "$data/sub-2/sub-2_scans.tsv" ] || fail "a failed write left sub-2_scans.tsv: $(od -c "$data/sub-2/sub-2_scans.tsv")"
[ -s "$data/sub-2/beh/sub-2_task-dualtask_events.tsv" ] && [ -s "$data/sub-2/beh/sub-2_task-dualtask_events.json" ] ||
  fail "sub-2's run was not written"
said "sub-2_scans.tsv could not be written (No space left on device); the run's row will be added once it can be."
grep -q $'^beh/sub-2_task-dualtask_events.tsv\t' "$data/sub-2/.sub-2_scans-rows-to-add.tsv" || fail "sub-2's scans row does not wait"
cp "$data/sub-2/.sub-2_scans-rows-to-add.tsv" "$work/scans-waiting.tsv"

# An I/O error under participants.tsv at sub-3: the table as it was, the row waiting, and sub-2's scans
# row added by this registration.
participants=$(cat "$data/participants.tsv")
simulate "$data/participants.tsv" EIO
[ "$code" = 1 ] || fail "a run whose participants row waits ended with $code"
[ "$(cat "$data/participants.tsv")" = "$participants" ] || fail "participants.tsv changed: $(cat "$data/participants.tsv")"
said "participants.tsv could not be written (Input/output error); sub-3's row will be added once it can be."
[ -s "$data/sub-3/sub-3_scans.tsv" ] && [ -s "$data/sub-3/beh/sub-3_task-dualtask_events.json" ] || fail "sub-3's run was not written"
grep -q $'^beh/sub-2_task-dualtask_events.tsv\t' "$data/sub-2/sub-2_scans.tsv" || fail "sub-2's scans row was not added"
[ ! -e "$data/sub-2/.sub-2_scans-rows-to-add.tsv" ] || fail "sub-2's scans row still waits"
cp "$data/.participants-rows-to-add.tsv" "$work/participants-waiting.tsv"

# A run that writes: sub-3's row first, then its own.
simulate
[ "$code" = 0 ] || fail "a run on a sound disk ended with $code: $(cat "$work/err")"
[ "$(cut -f1 "$data/participants.tsv" | tail -2 | tr '\n' ' ')" = "sub-3 sub-4 " ] ||
  fail "the rows are not added in order: $(cat "$data/participants.tsv")"

# The validators leave the files rows wait in out: here ones whose rows their tables hold already.
cp "$work/participants-waiting.tsv" "$data/.participants-rows-to-add.tsv"
cp "$work/scans-waiting.tsv" "$data/sub-2/.sub-2_scans-rows-to-add.tsv"
"$driver" --columns >"$work/columns.tsv"
check_dataset "$data" "$validator" "$work/columns.tsv"

# An I/O error under sub-5's events file: nothing of the run stays (no file, no scans row, no folder),
# the box names the file; the rows that waited, held by their tables already, are not added twice.
simulate "$data/sub-5/beh/sub-5_task-dualtask_events.tsv" EIO
[ "$code" = 1 ] || fail "a run whose events file failed ended with $code"
said "Could not write the results file $data/sub-5/beh/sub-5_task-dualtask_events.tsv:"
said "Input/output error"
[ ! -e "$data/sub-5" ] || fail "a run that could not be written left: $(find "$data/sub-5")"
[ "$(grep -c '^sub-3' "$data/participants.tsv")" = 1 ] || fail "sub-3's row was added twice: $(cat "$data/participants.tsv")"
[ "$(grep -c '^beh/sub-2_' "$data/sub-2/sub-2_scans.tsv")" = 1 ] || fail "sub-2's scans row was added twice"
[ -z "$(find "$data" -name '.*-rows-to-add.tsv')" ] || fail "rows still wait: $(find "$data" -name '.*-rows-to-add.tsv')"
[ -z "$(find "$data" -empty -type f)" ] || fail "empty files left: $(find "$data" -empty -type f)"
echo "every fault said, nothing lost, nothing half-written"
