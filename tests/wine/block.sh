#!/usr/bin/env bash
# pelorin.exe under Wine with no sound device, as on a lab PC with the speakers unplugged: it says so
# in pelorin.log and runs into the first block, whose bar rises (where the bars stand is checked on
# Linux by dual_block.sh: the same drawing code); the quit question asked in the block and answered
# Yes ends it with 0.
#   block.sh WINE_RUN PELORIN_EXE MAKE_WAVES_EXE DEMO_DIR
source "$(dirname "$0")/lib.sh"

start_display
# Wine has no sound device: the program's own path for none, not SDL's dummy driver.
unset SDL_AUDIODRIVER
prepare_wine_demo_data
start_wine_program
grep -q "no audio device (.*); running silent" "$work/pelorin.log" 2>/dev/null ||
  fail "no warning in pelorin.log: $(cat "$work/pelorin.log" 2>/dev/null)"

register_and_start_blocks
wait_screen "the bars of the first block" bars_shown
red=$(count_color "$(shot first_bar)" "$RED")
# The growth ticks run: a second later the bar is higher.
sleep 1
later=$(count_color "$(shot later_bar)" "$RED")
[ "$later" -gt "$red" ] || fail "the bar did not rise: $red pixels, then $later"

quit_by_question y
passed=1
