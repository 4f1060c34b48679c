#!/usr/bin/env bash
# The Windows package as a lab gets it: unpacked into a folder of its own, pelorin.exe runs the whole
# experiment on the demo data under Wine. A subject who does not answer lets the bars overflow and
# end the three blocks; "Quit" on the menu then ends the program with 0. The record is in the list
# beside pelorin.exe, the three blocks and the quit in the events file in Res_Data, which the
# package's pelorin-summary.exe reads; its letters timed at their present's call, as Wine's DWM
# counts no refresh, and said so.
#   whole_run.sh WINE_RUN PACKAGE_ZIP
source "$(dirname "$0")/lib.sh" "$1" "$(dirname "$2")/pelorin.exe" "" ""
TIMEOUT=200

start_display
unzip -q "$2" -d "$work"
folder=$work/$(basename "$2" .zip)
start_wine_program "$folder"
register_and_start_blocks "$folder"

bars_gone() { ! bars_shown "$1"; }
for block in 1 2 3; do
  wait_screen "the bars of block $block" bars_shown
  wait_screen "the end of block $block" bars_gone
done
# The menu: four buttons with their white edges, and nothing else white; "Quit" is the last.
menu_shown() {
  local white
  white=$(count_color "$1" "rgb(255,255,255)")
  [ "$white" -gt 300 ] && [ "$white" -lt 5000 ]
}
wait_screen "the menu after the three blocks" menu_shown
xdotool mousemove 740 436 click 1
wait_exit
[ "$exit_code" = 0 ] || fail "the program ended with $exit_code"
expect_subject_list "$folder/CurrentSubjects.txt" ' 1 kvt 2 \r\n'
events=$folder/Res_Data/sub-1/beh/sub-1_task-dualtask_events.tsv
[ -f "${events%.tsv}.json" ] || fail "no sidecar beside the events file"
[ "$(grep -c $'\tblock_start\t' "$events")" = 3 ] || fail "not three blocks in the events file: $(cat "$events")"
grep -q $'\tquit\t' "$events" || fail "no quit in the events file"
# Wine's DWM counts no refresh: every letter's onset is its present's call, and the file says so.
letters=$(awk -F'\t' '{ sub(/\r$/, "") } NR == 1 { for (i = 1; i <= NF; ++i) column[$i] = i; next }
  $column["trial_type"] == "letter" { print $column["onset_source"] }' "$events" | sort | uniq -c)
[[ "$letters" =~ ^\ *[0-9]+\ present_call$ ]] || fail "the letters' onset sources: $letters"
grep -Eq '"LetterOnsets": \{"OnsetSource": "present_call", "MeasuredRefreshPeriodMs": "n/a"' "${events%.tsv}.json" ||
  fail "the sidecar does not say the letters were timed at the call: $(grep LetterOnsets "${events%.tsv}.json")"
# The package's summary program reads it: three blocks, each ended by overflow.
summary=$(cd "$folder" && "$wine_run" pelorin-summary.exe Res_Data --csv summary.csv 2>/dev/null) ||
  fail "pelorin-summary failed: $summary"
[ "$(grep -cE '^sub-1 +1 +[123]  [a-z]+ +overflow' <<<"$summary")" = 3 ] || fail "the summary is not of three overflowed blocks: $summary"
[ "$(grep -cE '^sub-1,1,[123],(tone|letter|dual),overflow,' "$folder/summary.csv")" -ge 3 ] ||
  fail "the CSV summary: $(cat "$folder/summary.csv")"
passed=1
