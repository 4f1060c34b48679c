# The checks of a pilot run, shared by the Linux program under Xvfb (tests/xvfb/pilot.sh) and the
# Windows program under Wine (tests/wine/pilot.sh). Sourced after the display and the demo data are
# ready, with start_pilot defined to start the program with --pilot in $work and wait for its first
# screen, shots naming a folder for the screenshots (or empty), and the dataset driver (for the
# vocabulary of the columns) and the BIDS validator.
source "$(dirname "${BASH_SOURCE[0]}")/../bids/check_dataset.sh"
# The lab's real records: two subjects, and a results file in Res_Data.
printf ' 1 ab 2 \r\n 2 cd 1 \r\n' >"$work/CurrentSubjects.txt"
mkdir -p "$work/Res_Data"
printf 'onset\n' >"$work/Res_Data/sub-1_task-dualtask_events.tsv"
cp "$work/CurrentSubjects.txt" "$work/real-list.txt"
real_records() { (cd "$work" && find Res_Data CurrentSubjects.txt -printf '%p %s %T@\n' | sort && md5sum CurrentSubjects.txt Res_Data/*); }
before=$(real_records)

ORANGE="rgb(255,128,0)"
# The mark: orange at the corner of the window at X Y W (its left, top and width), and enough of it.
marked_at() { [ "$(pixel "$1" $(($2 + $4 - 10)) $(($3 + 10)))" = "srgb(255,128,0)" ]; }
marked() { marked_at "$1" 0 0 "$WIDTH" && [ "$(count_color "$1" "$ORANGE")" -gt 600 ]; }
keep() { [ -z "$shots" ] || cp "$1" "$shots/pilot-$2.png"; }
# Takes a screenshot named NAME once CONDITION holds of it, and fails unless it is marked.
check_screen() {
  local name=$1 what=$2 condition=$3
  wait_screen "$what" "$condition"
  local image
  image=$(shot "$name")
  marked "$image" || fail "no PILOT mark on $what"
  keep "$image" "$name"
}
always() { true; }
red_bar() { bars_shown "$1"; }
[ -z "$shots" ] || mkdir -p "$shots"

start_pilot
check_screen greet "the registration screen" always
# A refusal of the ID box: a message box, with the mark over it.
keys Return
check_screen refusal "the registration's message box" box_shown
keys Return
wait_screen "the box gone" box_gone
# The quick fill proposes the pilot list's next ID, 1, which the real list holds already: the pilot
# registers it all the same, in a list of its own.
keys ctrl+Tab
keys Return
wait_file "$work/Pilot_Data/Res_Data"
sleep 0.5
check_screen welcome "the welcome screen" always
keys Return
sleep 0.5
check_screen instructions "the instructions" always
keys Return

# The hand-overs to the tone block: the blank, the announcement, the blank, the fixation cross, the
# blank. Each screenshot on the way must be marked.
FACE="rgb(212,208,200)"
# Pixels of the centre that are not the screens' grey: the cross is a small black "+" there.
centre_drawn() {
  local centre=$work/centre.png
  convert "$1" -crop 200x200+$((WIDTH / 2 - 100))+$((HEIGHT / 2 - 100)) +repage "$centre"
  echo $((40000 - $(count_color "$centre" "$FACE")))
}
drawn_pixels() { echo $((WIDTH * HEIGHT - $(count_color "$1" "$FACE"))); }
cross() { local centre; centre=$(centre_drawn "$1"); [ "$centre" -gt 30 ] && [ "$centre" -lt 800 ] && ! bars_shown "$1"; }
# The announcement's line of text, far more than the mark and a cross.
announcement() { [ "$(drawn_pixels "$1")" -gt 5000 ] && ! bars_shown "$1"; }
# Screenshots as fast as they come until the bars show (the cross stands for a second only), then
# each one checked.
count=0
for _ in $(seq $((TIMEOUT * 10))); do
  count=$((count + 1))
  image=$(shot "transition-$count")
  bars_shown "$image" && break
done
seen_cross=0 seen_announcement=0
for i in $(seq "$count"); do
  image=$work/transition-$i.png
  bars_shown "$image" && break
  marked "$image" || fail "no PILOT mark on a screen between the instructions and the tone block: $image"
  if [ "$seen_announcement" = 0 ] && announcement "$image"; then seen_announcement=1; keep "$image" announcement; fi
  if [ "$seen_cross" = 0 ] && cross "$image"; then seen_cross=1; keep "$image" cross; fi
done
[ "$seen_announcement" = 1 ] || fail "the block's announcement was not seen"
[ "$seen_cross" = 1 ] || fail "the fixation cross was not seen"
check_screen block "a block" red_bar

# The debug window spans the top of the display: its own mark in its own top right-hand corner.
keys grave
debug_window=$(xdotool search --sync --onlyvisible --name "^My Debug Window$" | head -1)
# Where it lies on the screen; under Wine that includes a frame that lies partly off the screen.
info=$(xwininfo -id "$debug_window")
left=$(echo "$info" | sed -n 's/.*Absolute upper-left X: *//p')
top=$(echo "$info" | sed -n 's/.*Absolute upper-left Y: *//p')
width=$(echo "$info" | sed -n 's/.*Width: *//p')
right=$((left + width > WIDTH ? WIDTH : left + width))
top=$((top < 0 ? 0 : top))
sleep 0.5
image=$(shot debug)
# The window's white pane covers the main window's corner; the mark there is the window's own.
convert "$image" -crop 140x60+$((right - 140))+"$top" +repage "$work/debug-corner.png"
[ "$(count_color "$work/debug-corner.png" "rgb(255,255,255)")" -gt 1500 ] || fail "the debug window does not show"
[ "$(count_color "$work/debug-corner.png" "$ORANGE")" -gt 600 ] || fail "no PILOT mark on the debug window"
keep "$image" debug
keys grave

keys Escape
check_screen quit_question "the quit question" box_shown
keys y
wait_exit
[ "$exit_code" = 0 ] || fail "the pilot ended with $exit_code"

# Nothing of the lab's records was opened for writing: the same names, sizes, times and bytes.
cmp "$work/real-list.txt" "$work/CurrentSubjects.txt" || fail "the real subject list changed"
[ "$(real_records)" = "$before" ] || fail "the real subject list or Res_Data changed: $(real_records)"
# The pilot's own list and results.
expect_subject_list "$work/Pilot_Data/CurrentSubjects.txt" ' 1 kvt 2 \r\n'
events="$work/Pilot_Data/Res_Data/sub-1/beh/sub-1_task-dualtask_events.tsv"
[ -s "$events" ] || fail "no pilot results file"
grep -q $'\tquit\t' "$events" || fail "the pilot results file has no quit row"
# The pilot's dataset: marked as pilot runs, and valid.
grep -q '"Name": "Pelorin dual-task experiment: pilot runs"' "$work/Pilot_Data/Res_Data/dataset_description.json" ||
  fail "the pilot's dataset is not marked as pilot runs"
"$dataset_driver" --columns >"$work/columns.tsv"
check_dataset "$work/Pilot_Data/Res_Data" "$validator" "$work/columns.tsv"
# Nothing else was written into the folder.
# (The Windows program's log of what it cannot use, such as a missing sound device, is the machine's,
# kept beside the program in every mode.)
extra=$(cd "$work" && ls -A | grep -v -x -e Pilot_Data -e CurrentSubjects.txt -e Res_Data -e instruction.txt \
  -e wave -e real-list.txt -e '.*\.png' -e '.*\.txt' -e columns.tsv -e pelorin.log || true)
[ -z "$extra" ] || fail "the pilot wrote beside its folder: $extra"
passed=1
