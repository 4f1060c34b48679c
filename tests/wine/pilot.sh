#!/usr/bin/env bash
# pelorin.exe --pilot under Wine: the checks of the Linux pilot test (tests/xvfb/pilot_checks.sh), the
# PILOT mark on every screen and the lab's subject list and Res_Data untouched, on the Windows build.
# The Linux build's dataset driver gives the columns' vocabulary, the same on both systems. Screenshots
# stay in SHOTS_DIR when it is given.
#   pilot.sh WINE_RUN PELORIN_EXE MAKE_WAVES_EXE DEMO_DIR DATASET_DRIVER VALIDATOR [SHOTS_DIR]
source "$(dirname "$0")/lib.sh"
TIMEOUT=60
dataset_driver=$5
validator=$6
shots=${7:-}

start_display
prepare_wine_demo_data
start_pilot() {
  end_wine
  (cd "$work" && exec "$wine_run" "$pelorin_exe" --pilot >"$work/stdout.txt" 2>"$work/stderr.txt") &
  program_pid=$!
  wait_screen "the first screen drawn" drawn
}
# shellcheck source=tests/xvfb/pilot_checks.sh
source "$(dirname "$0")/../xvfb/pilot_checks.sh"
