#!/usr/bin/env bash
# A keyboard layout that cannot type the answer keys (Russian, Greek: no x, s, w, b, n, m): the
# experimenter is told on standard error and in one message box before the registration screen takes
# a key, and --check says so too. A layout that types them (French, whose keys lie elsewhere) is no
# reason to say anything.
#   keyboard_layout.sh PELORIN MAKE_WAVES DEMO_DIR
source "$(dirname "$0")/lib.sh"

pelorin=$1
TIMEOUT=90
start_display
prepare_demo_data "$2" "$3"
# The registration screen, with no box over it.
registration() { drawn "$1" && box_gone "$1"; }

for layout in "ru Russian" "gr Greek"; do
  read -r code name <<<"$layout"
  setxkbmap "$code" || fail "setxkbmap $code"
  start_program "$pelorin"
  wait_screen "the layout's message box" box_shown
  shot "layout-$code" >/dev/null
  grep -qxF "pelorin: the active keyboard layout, $code ($name), cannot type the answer keys x, s, w, b, n, m: switch to a layout that types them (such as English) before the subject starts" \
    "$work/stderr.txt" || fail "$code: standard error says: $(cat "$work/stderr.txt")"
  # Enter answers it; the registration screen is as always.
  keys Return
  wait_screen "the registration screen after the box" registration
  kill "$program_pid"
  wait "$program_pid" 2>/dev/null || true
  program_pid=""
done
[ ! -e "$work/CurrentSubjects.txt" ] || fail "the box registered someone"

setxkbmap fr
start_program "$pelorin"
sleep 1
image=$(shot layout-fr)
box_gone "$image" || fail "a box for a layout that types the answer keys: $image"
[ -s "$work/stderr.txt" ] && fail "fr: standard error says: $(cat "$work/stderr.txt")"
kill "$program_pid"
wait "$program_pid" 2>/dev/null || true
program_pid=""

setxkbmap gr
start_program "$pelorin" --check
wait_exit
report=$(ls "$work"/timing-check-*.txt)
grep -Eq "^  keyboard layout +gr \(Greek\)$" "$report" || fail "no layout line: $(cat "$report")"
grep -Eq "^  answer keys it cannot type +xswbnm$" "$report" || fail "no line of the keys: $(cat "$report")"
grep -q "^WARNING: the active keyboard layout, gr (Greek), cannot type the answer keys x, s, w, b, n, m. What to do: switch" \
  "$report" || fail "no warning of the layout: $(cat "$report")"
passed=1
