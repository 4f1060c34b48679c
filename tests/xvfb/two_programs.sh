#!/usr/bin/env bash
# Two programs registering into one folder at once, each on a display of its own: both propose the
# same next ID, Enter is pressed on both together. One registers and moves on; the other shows the
# duplicate message and stays on the registration screen; the list gains exactly one record.
#   two_programs.sh PELORIN MAKE_WAVES DEMO_DIR
source "$(dirname "$0")/lib.sh"

start_display
prepare_demo_data "$2" "$3"
printf ' 12 kvt 1 \r\n' >"$work/CurrentSubjects.txt"
first_display=$DISPLAY
first_pid_xvfb=$xvfb_pid

# The second display and program, ended with the first ones.
launch_xvfb
second_xvfb=$launched_pid
second_display=$launched_display
second_pid=""
end_second() {
  if [ -n "$second_pid" ]; then kill "$second_pid" 2>/dev/null || true; fi
  kill "$second_xvfb" 2>/dev/null && wait "$second_xvfb" 2>/dev/null || true
  cleanup
}
trap end_second EXIT

# Each program writes its output beside the other's.
start_program "$1"
first_pid=$program_pid
mv "$work/stderr.txt" "$work/stderr1.txt"
export DISPLAY=$second_display
start_program "$1"
second_pid=$program_pid

# Each proposes 13.
register_on_both_at_once "$first_display" "$second_display"

wait_file "$work/Res_Data"
# The loser's message box or the winner's instruction screen.
one_winner_one_duplicate "$first_display" "$second_display" drawn
expect_subject_list "$work/CurrentSubjects.txt" ' 12 kvt 1 \r\n 13 kvt 2 \r\n'

# Both programs still answer: the loser's box goes with Enter and it stays on registration.
for display in "$first_display" "$second_display"; do
  export DISPLAY=$display
  if box_shown "$(shot check)"; then
    keys Return
    wait_screen "the duplicate message to go" box_gone
  fi
done
kill -0 "$first_pid" && kill -0 "$second_pid" || fail "a program ended"
expect_subject_list "$work/CurrentSubjects.txt" ' 12 kvt 1 \r\n 13 kvt 2 \r\n'
kill "$first_pid" "$second_pid" 2>/dev/null || true
program_pid=""
second_pid=""
passed=1
