#!/usr/bin/env bash
# Keys on a real X server, which auto-repeats held keys: a held key is one press and then repeats
# marked as such, in text boxes and elsewhere; a held key never answers a message box; Ctrl+Tab and
# the back quote arrive as the screens expect them. A message box is modal: keys typed under it are
# its own, and every timer holds while it is up.
#   keys.sh HOST_DRIVER
source "$(dirname "$0")/lib.sh"
driver=$1

start_display
start_program "$driver"
log="$work/stdout.txt"

# A 3-second timer, 0.5 s gone when the quit question comes, runs out 2.5 s after No, not at once;
# a digit typed under the box does not reach the focused ID box.
keys g
sleep 0.3
keys Escape
wait_screen "the quit question" box_shown
keys 7
sleep 3
keys n
wait_screen "the box to go" box_gone
if grep -q '^time up$' "$log"; then fail "the timer ran on while the box was up"; fi
if grep -q '^press 55 ' "$log"; then fail "a key typed under the box reached the screen"; fi
for _ in $(seq 50); do grep -q '^time up$' "$log" && break; sleep 0.1; done
grep -q '^time up$' "$log" || fail "the held timer did not run out after the box"

# Into the ID box, and hold a digit down past the auto-repeat delay.
xdotool mousemove 220 108 click 1
sleep 0.2
xdotool keydown 3
sleep 1.2
xdotool keyup 3
sleep 0.3
grep -q "^click Text1$" "$log" || fail "the click on the box did not arrive"
[ "$(grep -c '^press 51 -$' "$log")" = 1 ] || fail "the held key was not pressed once"
grep -q '^press 51 repeat -$' "$log" || fail "the held key did not repeat"
grep -q '^down 51 0 repeat -$' "$log" || fail "the held key's key-down did not repeat"

keys ctrl+Tab grave
grep -q '^down 9 2 -$' "$log" || fail "Ctrl+Tab did not arrive as key-down 9 with Ctrl"
grep -q '^press 96 -$' "$log" || fail "the back quote did not arrive as 96"
if grep -q '^press 9 ' "$log"; then fail "Tab typed a character"; fi
keys grave

# Esc held down: the quit question comes once and its repeats do not answer it.
answers=$(grep -c '^answer' "$log")
xdotool keydown Escape
sleep 1.2
wait_screen "the quit question" box_shown
xdotool keyup Escape
[ "$(grep -c '^answer' "$log")" = "$answers" ] || fail "a held Esc answered the box"
keys n
wait_screen "the box to go" box_gone
[ "$(grep -c '^answer 7$' "$log")" = 2 ] || fail "N did not answer No"
if grep -q '^press 110' "$log"; then fail "the N that answered the box reached the screen"; fi

# Enter answers Yes, the default button, and the program ends.
quit_by_question Return "the quit question again"
passed=1
