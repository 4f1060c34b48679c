#!/usr/bin/env bash
# A display scaled to 150 % (the desktop's Xft.dpi 144, set with xrdb as a desktop sets it): every
# screen keeps its physical size, so its text and bars measure 1.5 times their pixels at 96 dpi. The
# same run on two displays, one at 96 dpi and one at 144: the block's announcement (its text's height)
# and the block's red bar (its width), measured in screenshots.
#   scaling.sh PELORIN MAKE_WAVES DEMO_DIR [SCREENSHOT_FOLDER]
source "$(dirname "$0")/lib.sh"

pelorin=$1
keep=${4:-}
TIMEOUT=60
command -v xrdb >/dev/null || fail "no xrdb (x11-xserver-utils)"

# Height of whatever is not the screens' grey, in pixels: the text on a screen of one label.
ink_height() {
  convert "$1" -fill white +opaque "rgb(212,208,200)" -fill black -opaque "rgb(212,208,200)" -trim -format "%h" info: 2>/dev/null
}
# Width of the red bar, in pixels.
red_width() { convert "$1" -fill black +opaque "$RED" -trim -format "%w" info: 2>/dev/null; }
announced() { [ "$(ink_height "$1")" -gt 5 ] && ! bars_shown "$1" && ! box_shown "$1"; }

# One run at a DPI (empty: Xft.dpi not set): registration, instructions, the first block's announcement
# and its first bars, each measured. Sets text and bar.
measure_at() {
  local dpi=$1 image
  start_display
  prepare_demo_data "$2" "$3"
  if [ -n "$dpi" ]; then echo "Xft.dpi: $dpi" | xrdb -merge || fail "xrdb cannot set Xft.dpi"; fi
  start_program "$pelorin"
  register_and_start_blocks
  # Measured in the screenshot that showed it: the announcement stands for three seconds only.
  wait_screen "the first block's announcement at ${dpi:-96} dpi" announced
  image=$work/announcement-${dpi:-96}.png
  cp "$work/current.png" "$image"
  text=$(ink_height "$image")
  wait_screen "the bars at ${dpi:-96} dpi" bars_shown
  image=$work/bars-${dpi:-96}.png
  cp "$work/current.png" "$image"
  bar=$(red_width "$image")
  if [ -n "$keep" ]; then cp "$work"/announcement-*.png "$work"/bars-*.png "$keep/"; fi
  keys Escape
  wait_screen "the quit question" box_shown
  keys y
  wait_exit
  [ "$exit_code" = 0 ] || fail "the run at ${dpi:-96} dpi ended with $exit_code"
  kill "$xvfb_pid" && wait "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=""
  rm -rf "$work"
}

measure_at "" "$2" "$3"
text96=$text
bar96=$bar
measure_at 144 "$2" "$3"
text144=$text
bar144=$bar
echo "at 96 dpi: text $text96 px, bar $bar96 px; at 144 dpi: text $text144 px, bar $bar144 px"
# 1.5 times, within the pixel that each rounding of an edge may add or take.
within() { awk -v small="$1" -v large="$2" 'BEGIN { exit !(large >= 1.5 * small - 2 && large <= 1.5 * small + 2) }'; }
within "$bar96" "$bar144" || fail "the bar measures $bar144 px at 144 dpi against $bar96 px at 96"
within "$text96" "$text144" || fail "the text measures $text144 px at 144 dpi against $text96 px at 96"
passed=1
