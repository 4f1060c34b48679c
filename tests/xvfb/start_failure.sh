#!/usr/bin/env bash
# What stops the program before its window opens reaches whoever started it, as a desktop launch sees
# it: a bad pelorin.ini's refusal in the system's message box (read back from a screenshot) as well as
# on standard error, exit code 2, nothing written once it is answered. Without a display the same
# failure ends the program at once, on standard error alone: nothing waits for a box nobody can see.
#   start_failure.sh PELORIN MAKE_WAVES DEMO_DIR
source "$(dirname "$0")/lib.sh"
pelorin=$1
TIMEOUT=30
reason="pelorin.ini line 2: display takes a display's number (0 is the first), not \"abc\""

start_display
printf '# the subjects\x27 monitor\r\ndisplay = abc\r\n' >"$work/pelorin.ini"
(cd "$work" && exec "$pelorin" >"$work/stdout.txt" 2>"$work/stderr.txt") &
program_pid=$!
answer_failure_box
[ "$failure_box_seen" = 1 ] || fail "no message box was shown: $(cat "$work/stderr.txt")"
grep -q "display takes a display" <<<"$failure_box_text" || fail "the box does not say the reason: $failure_box_text"
wait_exit
[ "$exit_code" = 2 ] || fail "the refused settings file ended with $exit_code"
grep -qxF "pelorin: $reason" "$work/stderr.txt" || fail "standard error says: $(cat "$work/stderr.txt")"
[ "$(cd "$work" && ls -A | grep -v -e '\.png$' -e '\.txt$')" = pelorin.ini ] || fail "a refused start wrote: $(ls -A "$work")"

# No display: the refusal, and the experiment that finds no display, end at once.
for ini in refused none; do
  [ "$ini" = none ] && rm "$work/pelorin.ini"
  code=0
  (cd "$work" && DISPLAY= WAYLAND_DISPLAY= timeout 20 "$pelorin" >"$work/stdout.txt" 2>"$work/stderr.txt") || code=$?
  [ "$code" != 124 ] || fail "without a display the program waited ($ini)"
  if [ "$ini" = refused ]; then
    [ "$code" = 2 ] && grep -qxF "pelorin: $reason" "$work/stderr.txt" || fail "without a display: $code, $(cat "$work/stderr.txt")"
  else
    [ "$code" = 1 ] && [ -s "$work/stderr.txt" ] || fail "no display: $code, $(cat "$work/stderr.txt")"
  fi
done
passed=1
