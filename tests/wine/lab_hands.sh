#!/usr/bin/env bash
# The Windows package in a lab's hands, under Wine. A spreadsheet holds participants.tsv open (read
# sharing only: hold_file.exe) through a whole simulated run and a real-window registration: each run's
# events file, sidecar and scans row are written, the experimenter is told to close the table, the rows
# wait; once the table is let go, the next registration adds them in order, and both BIDS validators
# pass the dataset. Then rehearsals whose folder reaches the lab's records by another name (letter case,
# an 8.3 name, links) are refused, with the reason, the lab's records unchanged byte for byte.
#   lab_hands.sh WINE_RUN PACKAGE_ZIP HOLD_FILE_EXE DATASET_DRIVER VALIDATOR
source "$(dirname "$0")/lib.sh" "$1" "$(dirname "$2")/pelorin.exe" "" ""
source "$(dirname "$0")/../bids/check_dataset.sh"
zip=$2 hold_file=$3 dataset_driver=$4 validator=$5
TIMEOUT=60

start_display
unzip -q "$zip" -d "$work"
folder=$work/$(basename "$zip" .zip)
data=$folder/Lab/Res_Data
# Runs pelorin.exe in the package's folder; its exit code goes to code, what it said to out.txt and
# err.txt without Windows' CR.
code=0
run_exe() {
  code=0
  (cd "$folder" && timeout 60 "$wine_run" pelorin.exe "$@" </dev/null >"$work/out.txt" 2>"$work/err.txt") || code=$?
  sed -i 's/\r$//' "$work/out.txt" "$work/err.txt"
  [ "$code" != 124 ] || fail "pelorin.exe $* did not end"
}
said() { grep -qF -- "$1" "$work/err.txt" || fail "not said: '$1'; said: $(cat "$work/err.txt")"; }
rows_of() { cut -f1 "$1" | tail -n +2 | tr '\n' ' '; }
end_wine

run_exe --simulate 1 --out Lab
[ "$code" = 0 ] || fail "the first simulated run ended with $code: $(cat "$work/err.txt")"
before=$(cat "$data/participants.tsv")
# The spreadsheet takes the table.
(cd "$folder" && exec "$wine_run" "$hold_file" 'Lab\Res_Data\participants.tsv' release.txt >"$work/held.txt" 2>&1) &
holder=$!
wait_file "$work/held.txt"
for _ in $(seq 100); do grep -q held "$work/held.txt" && break; sleep 0.1; done
grep -q held "$work/held.txt" || fail "the file was not held: $(cat "$work/held.txt")"

# A whole simulated run: written, the row waiting, said plainly; exit code 1 while rows wait.
run_exe --simulate 1 --out Lab
[ "$code" = 1 ] || fail "a simulated run beside a held table ended with $code: $(cat "$work/err.txt")"
said "participants.tsv is open in another program: close it; sub-2's row will be added."
for file in sub-2/beh/sub-2_task-dualtask_events.tsv sub-2/beh/sub-2_task-dualtask_events.json; do
  [ -s "$data/$file" ] || fail "no $file while participants.tsv was held"
done
grep -q $'^beh/sub-2_task-dualtask_events.tsv\t' "$data/sub-2/sub-2_scans.tsv" || fail "no scans row of sub-2"
[ "$(cat "$data/participants.tsv")" = "$before" ] || fail "the held table changed"

# A real-window registration in Lab: its box says the same, the run goes on to the instructions.
(cd "$folder/Lab" && exec "$wine_run" ../pelorin.exe >"$work/stdout.txt" 2>"$work/stderr.txt") &
program_pid=$!
wait_screen "the registration screen" drawn
keys ctrl+Tab
keys Return
wait_screen "the box of the held table" box_shown
image=$(shot held-box)
convert "$image" -colorspace Gray -resize 200% "$work/held-box-large.png"
tesseract "$work/held-box-large.png" - 2>/dev/null | tr '\n' ' ' >"$work/ocr.txt"
grep -q "open in another program" "$work/ocr.txt" || fail "the box does not say the table is open elsewhere: $(cat "$work/ocr.txt") ($image)"
keys Return
wait_screen "the box gone" box_gone
quit_by_question y "the quit question"
[ -s "$data/sub-3/beh/sub-3_task-dualtask_events.tsv" ] && [ -s "$data/sub-3/beh/sub-3_task-dualtask_events.json" ] ||
  fail "the registration's run was not written"
grep -q $'^beh/sub-3_task-dualtask_events.tsv\t' "$data/sub-3/sub-3_scans.tsv" || fail "no scans row of sub-3"
[ "$(rows_of "$data/.participants-rows-to-add.tsv")" = "sub-2 sub-3 " ] ||
  fail "the rows waiting: $(cat "$data/.participants-rows-to-add.tsv")"
[ "$(cat "$data/participants.tsv")" = "$before" ] || fail "the held table changed"

# Let go: the next registration adds the rows that waited, in order, then its own.
touch "$folder/release.txt"
wait "$holder" || fail "the holder failed: $(cat "$work/held.txt")"
run_exe --simulate 1 --out Lab
[ "$code" = 0 ] || fail "the run after the table was let go ended with $code: $(cat "$work/err.txt")"
[ "$(rows_of "$data/participants.tsv")" = "sub-1 sub-2 sub-3 sub-4 " ] || fail "participants.tsv: $(cat "$data/participants.tsv")"
[ ! -e "$data/.participants-rows-to-add.tsv" ] || fail "rows still wait"
expect_subject_list "$folder/Lab/CurrentSubjects.txt" ' 1 kvt 2 \r\n 2 kvt 1 \r\n 3 kvt 2 \r\n 4 kvt 1 \r\n'
"$dataset_driver" --columns >"$work/columns.tsv"
check_dataset "$data" "$validator" "$work/columns.tsv"

# The lab's own records in the package's folder, and rehearsals that would reach them.
mkdir -p "$folder/Res_Data/sub-1/beh"
printf 'participant_id\torder_condition\r\nsub-1\t2\r\n' >"$folder/Res_Data/participants.tsv"
printf ' 1 ab 2 \r\n' >"$folder/CurrentSubjects.txt"
lab_records() { (cd "$folder" && find Res_Data CurrentSubjects.txt -printf '%p %s %T@\n' | sort && md5sum CurrentSubjects.txt Res_Data/participants.tsv); }
recorded=$(lab_records)
refused() {
  local reason=$1
  shift
  run_exe "$@"
  [ "$code" = 2 ] || fail "pelorin.exe $* ended with $code, not 2: $(cat "$work/err.txt")"
  head -1 "$work/err.txt" | grep -qF -- "$reason" || fail "pelorin.exe $* says '$(head -1 "$work/err.txt")', not '$reason'"
  [ "$(lab_records)" = "$recorded" ] || fail "pelorin.exe $* changed the lab's records"
}
inside="is or lies inside the current folder's Res_Data"
refused "--out: res_data $inside" --simulate 1 --out res_data
refused "--out: RES_DATA $inside" --simulate 1 --out RES_DATA
# The run folder by its 8.3 name, as Wine gives it (Res_Data, eight letters, has none of its own here).
short=$(cd "$work" && WINEPREFIX=$PELORIN_WINEPREFIX WINEDEBUG=-all wine cmd /c 'dir /x' 2>/dev/null | tr -d '\r' |
  awk -v name="$(basename "$folder")" '/<DIR>/ && $NF == name {print $(NF-1)}')
[ -n "$short" ] || fail "no 8.3 name of $(basename "$folder")"
refused "--out: ..\\$short\\Res_Data $inside" --simulate 1 --out "..\\$short\\Res_Data"
# Links made on the Linux side, which Wine follows as the folders they lead to.
ln -s Res_Data "$folder/Linked"
mkdir -p "$folder/Sim"
ln -s ../Res_Data "$folder/Sim/Res_Data"
recorded=$(lab_records)
refused "--out: Linked $inside" --simulate 1 --out Linked
refused "--out: Sim holds a Res_Data that is or lies inside the current folder's" --simulate 1 --out Sim
# A pilot whose Res_Data links to the lab's: refused before any window, in a box of the system's.
mkdir -p "$folder/Pilot_Data"
ln -s ../Res_Data "$folder/Pilot_Data/Res_Data"
recorded=$(lab_records)
(cd "$folder" && exec "$wine_run" pelorin.exe --pilot >"$work/stdout.txt" 2>"$work/stderr.txt") &
program_pid=$!
pilot_box() {
  convert "$1" -colorspace Gray -resize 200% "$work/pilot-box-large.png"
  tesseract "$work/pilot-box-large.png" - 2>/dev/null | tr '\n' ' ' >"$work/ocr.txt"
  grep -q "Pilot_Data holds" "$work/ocr.txt" && grep -q "lies inside" "$work/ocr.txt"
}
wait_screen "the pilot's refusal in a box" pilot_box
keys Return
wait_exit
[ "$exit_code" = 1 ] || fail "the refused pilot ended with $exit_code"
grep -qF "Pilot_Data holds a Res_Data that is or lies inside the current folder's: a pilot writes only into a folder of its own" \
  "$folder/pelorin.log" || fail "the pilot's refusal is not in pelorin.log: $(cat "$folder/pelorin.log")"
[ "$(lab_records)" = "$recorded" ] || fail "the refused pilot changed the lab's records"
passed=1
