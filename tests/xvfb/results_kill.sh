#!/usr/bin/env bash
# A run killed with SIGKILL in the middle of the tone block leaves its events file with every row
# written before the kill, each whole, and pelorin-summary reads it; a row cut short is refused.
#   results_kill.sh PELORIN MAKE_WAVES DEMO_DIR PELORIN_SUMMARY
source "$(dirname "$0")/lib.sh"
TIMEOUT=60
summary=$4

start_display
prepare_demo_data "$2" "$3"
start_program "$1"

# Subject 1; the events file is made at once with the record.
register_and_start_blocks
events="$work/Res_Data/sub-1/beh/sub-1_task-dualtask_events.tsv"
wait_file "$events"
wait_file "$work/Res_Data/sub-1/beh/sub-1_task-dualtask_events.json"
wait_screen "the tone block" bars_shown
# Answers and stray keys, some while the tone plays, then the kill in the middle of the block.
for key in x s w q b x s w m x; do
  xdotool key "$key"
  sleep 0.25
done
kill -KILL "$program_pid"
wait "$program_pid" 2>/dev/null || true
program_pid=""

cp "$events" "$work/killed.tsv"
[ "$(tail -c 1 "$events" | od -An -tx1 | tr -d ' ')" = "0a" ] || fail "the events file does not end with a whole row"
awk -F'\t' 'NF != 14 { exit 1 }' "$events" || fail "a row without its 14 columns"
grep -q $'^[0-9]*\\.[0-9]\\{6\\}\tn/a\tblock_start\t1\ttone\t' "$events" || fail "no block_start row"
grep -q $'\ttone\t1\ttone\t[258]00Hz\t' "$events" || fail "no tone row"
[ "$(grep -c $'\tresponse\t' "$events")" -ge 5 ] || fail "the keys typed are not all there: $(cat "$events")"

"$summary" "$events" >"$work/summary.txt" 2>&1 || fail "pelorin-summary refused the file: $(cat "$work/summary.txt")"
grep -E -q "^sub-1 +1 +1  tone +not_ended +tone " "$work/summary.txt" || fail "the summary: $(cat "$work/summary.txt")"

# The same file cut in the middle of its last row, as no kill leaves it: refused, with the reason.
head -c -3 "$events" >"$work/cut.tsv"
if "$summary" "$work/cut.tsv" >/dev/null 2>"$work/cut.txt"; then fail "pelorin-summary took a file cut short"; fi
grep -q "cut.tsv: line [0-9]*: cut off" "$work/cut.txt" ||
  fail "pelorin-summary said: $(cat "$work/cut.txt")"
passed=1
