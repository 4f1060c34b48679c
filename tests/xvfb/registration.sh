#!/usr/bin/env bash
# Registration typed as a person would: a refused key, failed checks, then a valid entry; the subject
# list gets exactly the new line and Res_Data is made. Then Esc and Yes end the program with 0.
#   registration.sh PELORIN MAKE_WAVES DEMO_DIR
source "$(dirname "$0")/lib.sh"

start_display
prepare_demo_data "$2" "$3"
printf ' 12 kvt 1 \r\n' >"$work/CurrentSubjects.txt"
start_program "$1"

# The welcome caption stands on its white band.
image=$(shot registration)
[ "$(count_color "$image" "rgb(255,255,255)")" -gt 25000 ] || fail "no welcome band on the registration screen"

# A letter in the ID box is refused with a message box, answered with Enter.
type_text "a"
wait_screen "the refusal of a letter" box_shown
keys Return
wait_screen "the refusal to go" box_gone

# A registered ID is refused when the focus leaves the box; the focus stays in it.
type_text "12"
keys Tab
wait_screen "the duplicate ID message" box_shown
keys Return
wait_screen "the duplicate message to go" box_gone
keys BackSpace BackSpace
type_text "13"
keys Tab

# One letter is too few initials.
type_text "k"
keys Tab
wait_screen "the initials message" box_shown
keys Return
wait_screen "the initials message to go" box_gone
type_text "b"
keys Tab
type_text "1"
keys Return

wait_file "$work/Res_Data"
[ -d "$work/Res_Data" ] || fail "Res_Data is not a folder"
expect_subject_list "$work/CurrentSubjects.txt" ' 12 kvt 1 \r\n 13 kb 1 \r\n'

# The instruction screen is up; the quit question ends the run.
sleep 0.5
quit_by_question Return
passed=1
