#!/usr/bin/env bash
# Instruction files no person wrote, in a real window: binary bytes, then 10 MB of text. Each is
# shown on the first Continue; the program keeps answering and ends cleanly.
#   instruction_files.sh PELORIN MAKE_WAVES DEMO_DIR
source "$(dirname "$0")/lib.sh"

start_display
prepare_demo_data "$2" "$3"

# Registers, shows the instructions, then Esc and Yes; the program must end with 0.
run_with() {
  start_program "$1"
  keys ctrl+Tab
  keys Return
  wait_file "$work/Res_Data"
  sleep 0.5
  keys Return
  sleep 1
  keys Escape
  wait_screen "the quit question over the instructions" box_shown
  keys y
  wait_exit
  [ "$exit_code" = 0 ] || fail "the program ended with $exit_code: $(cat "$work/stderr.txt")"
  rm -rf "$work/Res_Data"
}

head -c 65536 /dev/urandom >"$work/instruction.txt"
printf '\0\r\0\n\377\376' >>"$work/instruction.txt"
run_with "$1"

# yes ends by SIGPIPE when head has enough.
{ yes "A long line of instructions that nobody will read to its end, over and over again." || true; } |
  head -c $((10 * 1024 * 1024)) >"$work/instruction.txt"
run_with "$1"

[ "$(grep -c ' kvt ' "$work/CurrentSubjects.txt")" = 2 ] || fail "not two records"
passed=1
