#!/usr/bin/env bash
# pelorin.exe on a display Windows scales to 150 % (LogPixels 144 in the prefix, as Windows' display
# settings set it): the program is aware of each monitor's DPI and draws 1440 / 144 twips a pixel, so
# the registration screen's height and the block's red bar measure 1.5 times their pixels at 96 dpi
# (its widest label no longer fits the prefix's 1024 x 768 desktop across).
#   scaling.sh WINE_RUN PELORIN_EXE MAKE_WAVES_EXE DEMO_DIR [SCREENSHOT_FOLDER]
source "$(dirname "$0")/lib.sh"

keep=${5:-}
TIMEOUT=60
source "$(dirname "$0")/../xvfb/scaling_lib.sh"
# The DPI Windows asks programs for, in the prefix: both places Wine reads it from.
set_dpi() {
  end_wine
  WINEPREFIX=$PELORIN_WINEPREFIX wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f \
    >/dev/null 2>&1 || fail "cannot set LogPixels"
  WINEPREFIX=$PELORIN_WINEPREFIX wine reg add 'HKCC\Software\Fonts' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1 ||
    fail "cannot set LogPixels"
  WINEPREFIX=$PELORIN_WINEPREFIX wineserver -w
}
# The prefix is shared by the Windows tests: it goes back to 96 dpi whatever happens here.
eval "$(declare -f cleanup | sed '1s/^cleanup/wine_cleanup/')"
cleanup() {
  set_dpi 96 || true
  wine_cleanup
}

start_display
prepare_wine_demo_data
measure_at() {
  local image
  set_dpi "$1"
  start_wine_program
  sleep 1
  image=$(shot "registration-$1")
  read -r width height <<<"$(ink_size "$image")"
  register_and_start_blocks
  wait_screen "the bars at $1 dpi" bars_shown
  image=$work/bars-$1.png
  cp "$work/current.png" "$image"
  bar=$(red_width "$image")
  [ -z "$keep" ] || cp "$work/registration-$1.png" "$image" "$keep/"
  keys Escape
  wait_screen "the quit question" box_shown
  keys y
  wait_exit
  rm -rf "$work/CurrentSubjects.txt" "$work/Res_Data"
}
measure_at 96
width96=$width height96=$height bar96=$bar
measure_at 144
width144=$width height144=$height bar144=$bar
echo "at 96 dpi: registration $width96 x $height96 px, bar $bar96 px wide;" \
  "at 144 dpi: registration $width144 x $height144 px, bar $bar144 px wide"
within "$bar96" "$bar144" || fail "the bar measures $bar144 px at 144 dpi against $bar96 px at 96"
within "$height96" "$height144" || fail "the registration screen is $height144 px high at 144 dpi against $height96 at 96"
passed=1
