#!/usr/bin/env bash
# What the display shows at the start of the dual block: the red tone bar and the dark blue letter bar
# standing on the bottom edge, a third of the display high, either side of the centre.
# Reached as a subject who does not answer: the tone and letter blocks end by overflow.
#   dual_block.sh PELORIN MAKE_WAVES DEMO_DIR
source "$(dirname "$0")/lib.sh"
TIMEOUT=150

start_display
prepare_demo_data "$2" "$3"
start_program "$1"

register_and_start_blocks

BLUE="rgb(0,0,192)"
bars_gone() { ! bars_shown "$1"; }

# The bars come up three times: the tone block, the letter block, the dual block.
for block in 1 2 3; do
  wait_screen "the bars of block $block" bars_shown
  [ "$block" = 3 ] || wait_screen "the end of block $block" bars_gone
done
image=$(shot dual_block)

third=$((HEIGHT / 3))
# Both bars are 81 pixels (1215 twips) wide, 81 pixels either side of the centre.
for column in 350 430; do
  [ "$(pixel "$image" $column $((HEIGHT - 1)))" = "srgb(255,0,0)" ] || fail "no red bar on the bottom edge at $column"
done
for column in 593 673; do
  [ "$(pixel "$image" $column $((HEIGHT - 1)))" = "srgb(0,0,192)" ] || fail "no blue bar on the bottom edge at $column"
done
for column in 349 431 592 674; do
  [ "$(pixel "$image" $column $((HEIGHT - 1)))" = "srgb(212,208,200)" ] || fail "a bar is wider than 81 pixels at $column"
done
# A third of the display high; the first tone holds the bars still, then they rise 2 pixels a tick.
red=$(count_color "$image" "$RED")
blue=$(count_color "$image" "$BLUE")
for count in "$red" "$blue"; do
  height=$((count / 81))
  if [ "$height" -lt "$third" ] || [ "$height" -gt $((third + 40)) ]; then
    fail "a bar is $height pixels high at the start of the dual block, not about $third"
  fi
done
passed=1
