#!/usr/bin/env bash
# Two pelorin.exe registering into one folder, each in a Wine desktop of its own on a display of its
# own, under one Wine server: both propose the same next ID, Enter is pressed on both together. One
# registers and moves on; the other shows the duplicate message and stays; the list gains exactly one
# record. Wine lets a WriteFile into a range another program has locked through, where Windows
# refuses it: the programs lock a byte of the list with LockFileEx, and what is checked here is only
# what that lock decides, the duplicate check and the list.
#   two_programs.sh WINE_RUN PELORIN_EXE MAKE_WAVES_EXE DEMO_DIR
source "$(dirname "$0")/lib.sh"

start_display
prepare_wine_demo_data
printf ' 12 kvt 1 \r\n' >"$work/CurrentSubjects.txt"
first_display=$DISPLAY
launch_xvfb
second_xvfb=$launched_pid
second_display=$launched_display
end_second() {
  cleanup
  kill "$second_xvfb" 2>/dev/null && wait "$second_xvfb" 2>/dev/null || true
}
trap end_second EXIT
end_wine

# A named desktop is made on the display of the program that asks for it.
exe=$(windows_path "$pelorin_exe")
# One after the other: two desktops made at the same moment can fail to make their windows.
for display in "$first_display" "$second_display"; do
  (cd "$work" && DISPLAY=$display exec "$wine_run" explorer "/desktop=d${display#:},1024x768" "$exe" \
    >"$work/stdout-${display#:}.txt" 2>&1) &
  DISPLAY=$display TIMEOUT=60 wait_screen "the program's screen on $display" drawn
done

# Quick fill on both: each proposes 13. Enter on both at the same moment.
for display in "$first_display" "$second_display"; do
  DISPLAY=$display keys ctrl+Tab
done
DISPLAY=$first_display xdotool key Return &
first_key=$!
DISPLAY=$second_display xdotool key Return &
wait "$first_key" $! || fail "a key could not be sent"

wait_file "$work/Res_Data"
outcome() {
  local image
  image=$(shot "outcome-${1//:/}")
  if box_shown "$image"; then echo duplicate; elif [ "$(count_color "$image" "rgb(255,255,255)")" -lt 25000 ]; then echo moved; fi
}
settled() {
  local a b
  for _ in $(seq $((TIMEOUT * 5))); do
    a=$(DISPLAY=$first_display outcome "$first_display")
    b=$(DISPLAY=$second_display outcome "$second_display")
    if [ -n "$a" ] && [ -n "$b" ] && [ "$a" != "$b" ]; then return 0; fi
    sleep 0.2
  done
  fail "not one winner and one duplicate message: first $a, second $b"
}
settled

printf ' 12 kvt 1 \r\n 13 kvt 2 \r\n' >"$work/expected.txt"
cmp "$work/expected.txt" "$work/CurrentSubjects.txt" ||
  fail "the subject list is not the one new record: $(od -c "$work/CurrentSubjects.txt")"
passed=1
