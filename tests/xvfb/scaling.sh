#!/usr/bin/env bash
# A display scaled to 150 % (the desktop's Xft.dpi 144, set with xrdb as a desktop sets it): every
# screen keeps its physical size, so its text and bars measure 1.5 times their pixels at 96 dpi. The
# same run on two displays, one at 96 dpi and one at 144: the registration screen (its labels, boxes and button: their extent)
# and the block's red bar (its width), measured in screenshots.
#   scaling.sh PELORIN MAKE_WAVES DEMO_DIR [SCREENSHOT_FOLDER]
source "$(dirname "$0")/lib.sh"

pelorin=$1
keep=${4:-}
TIMEOUT=60
# Wide enough for the registration screen's widest label at 144 dpi.
WIDTH=1600
HEIGHT=1200
command -v xrdb >/dev/null || fail "no xrdb (x11-xserver-utils)"

source "$(dirname "$0")/scaling_lib.sh"

# One run at a DPI (empty: Xft.dpi not set): the registration screen, then on into the first block,
# each measured. Sets width, height and bar.
measure_at() {
  local dpi=$1 image
  start_display
  prepare_demo_data "$2" "$3"
  if [ -n "$dpi" ]; then echo "Xft.dpi: $dpi" | xrdb -merge || fail "xrdb cannot set Xft.dpi"; fi
  start_program "$pelorin"
  sleep 0.5
  image=$(shot "registration-${dpi:-96}")
  read -r width height <<<"$(ink_size "$image")"
  register_and_start_blocks
  wait_screen "the bars at ${dpi:-96} dpi" bars_shown
  image=$work/bars-${dpi:-96}.png
  cp "$work/current.png" "$image"
  bar=$(red_width "$image")
  if [ -n "$keep" ]; then cp "$work"/registration-*.png "$work"/bars-*.png "$keep/"; fi
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
width96=$width height96=$height bar96=$bar
measure_at 144 "$2" "$3"
width144=$width height144=$height bar144=$bar
echo "at 96 dpi: registration $width96 x $height96 px, bar $bar96 px wide;" \
  "at 144 dpi: registration $width144 x $height144 px, bar $bar144 px wide"
within "$bar96" "$bar144" || fail "the bar measures $bar144 px at 144 dpi against $bar96 px at 96"
within "$width96" "$width144" || fail "the registration screen is $width144 px wide at 144 dpi against $width96 at 96"
within "$height96" "$height144" || fail "the registration screen is $height144 px high at 144 dpi against $height96 at 96"
passed=1
