#!/usr/bin/env bash
# The real host's wait on Windows, under Wine on an Xvfb display of its own: the test program asks
# for a key when it waits for one.
#   wait.sh WINE_RUN WAIT_TEST_EXE
source "$(dirname "$0")/lib.sh" "$1" "$2" "" ""

start_display
end_wine
("$wine_run" "$2" >"$work/out.txt" 2>&1; echo $? >"$work/code.txt") &
program_pid=$!

for _ in $(seq 600); do
  grep -q "waiting for a key" "$work/out.txt" 2>/dev/null && break
  [ -e "$work/code.txt" ] && break
  sleep 0.1
done
sleep 0.3
xdotool key a
TIMEOUT=60 wait_file "$work/code.txt"
[ "$(cat "$work/code.txt")" = 0 ] || fail "the wait test failed: $(cat "$work/out.txt")"
passed=1
