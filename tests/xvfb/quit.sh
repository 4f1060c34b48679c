#!/usr/bin/env bash
# Esc asks whether to quit: No carries on, Yes ends the program with 0 and nothing written. Without a
# display the program does not start: it says why and ends with another code.
#   quit.sh PELORIN MAKE_WAVES DEMO_DIR
source "$(dirname "$0")/lib.sh"

start_display
prepare_demo_data "$2" "$3"
code=0
(cd "$work" && env -u DISPLAY timeout 20 "$1" >"$work/nodisplay.txt" 2>&1) || code=$?
if [ "$code" = 0 ] || [ "$code" = 124 ]; then fail "without a display the program ended with $code"; fi
grep -q "^pelorin: .*display" "$work/nodisplay.txt" || fail "without a display the program did not say why"

start_program "$1"

keys Escape
wait_screen "the quit question" box_shown
keys Escape
wait_screen "the question to go after No" box_gone
sleep 0.5
kill -0 "$program_pid" 2>/dev/null || fail "No ended the program"

quit_by_question y "the quit question again"
if [ -s "$work/stderr.txt" ]; then fail "the program wrote to standard error: $(cat "$work/stderr.txt")"; fi
if [ -e "$work/CurrentSubjects.txt" ]; then fail "quitting wrote a subject list"; fi
passed=1
