#!/usr/bin/env bash
# The Res_Data of a real-window run is a BIDS dataset from the registration on: the validator finds no
# error in it right after the registration and after a tone block in which answers, stray keys (tab,
# both quotes, a backslash, a letter beyond ASCII) and a quit question answered No were typed, up to
# the Yes that ends the program; pandas reads its events file as written.
#   dataset.sh PELORIN MAKE_WAVES DEMO_DIR DATASET_DRIVER VALIDATOR
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/../bids/check_dataset.sh"
TIMEOUT=60
driver=$4
validator=$5

start_display
prepare_demo_data "$2" "$3"
"$driver" --columns >"$work/columns.tsv"
start_program "$1"

register_and_start_blocks
events="$work/Res_Data/sub-1/beh/sub-1_task-dualtask_events.tsv"
wait_file "$events"
wait_file "$work/Res_Data/sub-1/sub-1_scans.tsv"
echo "== the dataset right after the registration"
check_dataset "$work/Res_Data" "$validator" "$work/columns.tsv"

wait_screen "the tone block" bars_shown
for key in x Tab s quotedbl w apostrophe backslash eacute x; do
  xdotool key "$key"
  sleep 0.3
done
keys Escape
wait_screen "the quit question" box_shown
sleep 0.4
keys n
wait_screen "the question to go after No" box_gone
for key in s space w; do
  xdotool key "$key"
  sleep 0.3
done
quit_by_question y

grep -q $'\tquit_question\t1\ttone\t' "$events" || fail "no quit question in the block: $(cat "$events")"
awk -F'\t' '$3 == "quit_question" && $14 == "n/a" && $13 == "no" && $2 + 0 >= 0.3 { found = 1 } END { exit !found }' \
  "$events" || fail "the No has no duration of the time the question was up: $(grep quit_question "$events")"
echo "== the dataset after the run"
check_dataset "$work/Res_Data" "$validator" "$work/columns.tsv" tab quote apostrophe backslash space $'\u00e9'
cp -r "$work/Res_Data" "${PELORIN_KEEP_DATASET:-/dev/null/none}" 2>/dev/null || true
passed=1
