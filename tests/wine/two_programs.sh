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

# Each proposes 13.
register_on_both_at_once "$first_display" "$second_display"

wait_file "$work/Res_Data"
# Registration's white text boxes are gone from the winner's desktop.
registration_gone() { [ "$(count_color "$1" "rgb(255,255,255)")" -lt 25000 ]; }
one_winner_one_duplicate "$first_display" "$second_display" registration_gone
expect_subject_list "$work/CurrentSubjects.txt" ' 12 kvt 1 \r\n 13 kvt 2 \r\n'
passed=1
