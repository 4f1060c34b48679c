# Shared by the real-window tests of pelorin.exe under Wine: the Linux tests' display, folder and
# screenshot helpers, with the Windows programs started through Wine. Wine's own desktop window, of
# the X screen's size, holds the program's windows: without a window manager Wine stalls about 2 s
# on every window hidden or destroyed, and in its desktop it does not.
#   Source it with: WINE_RUN PELORIN_EXE MAKE_WAVES_EXE DEMO_DIR
source "$(dirname "${BASH_SOURCE[0]}")/../xvfb/lib.sh"

wine_run=$1
pelorin_exe=$2
make_waves_exe=$3
demo_dir=$4
# The prefix is the tests' own (CMake names it), so that the desktop is made on this test's display.
export PELORIN_WINEPREFIX=${PELORIN_WINEPREFIX:?no Wine prefix named for the tests}

# A Linux path as the Windows program sees it, through Wine's Z: drive.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# Every Windows program of the prefix ends with the test, before its display goes.
eval "$(declare -f cleanup | sed '1s/^cleanup/xvfb_cleanup/')"
end_wine() { WINEPREFIX=$PELORIN_WINEPREFIX wineserver -k 2>/dev/null || true; }
cleanup() {
  end_wine
  xvfb_cleanup
}

# The demo data, its waves written by the Windows build's own generator.
prepare_wine_demo_data() {
  cp "$demo_dir/instruction.txt" "$work/"
  (cd "$work" && "$wine_run" "$make_waves_exe" wave >/dev/null) || fail "the waves could not be made"
}

# Starts pelorin.exe in a folder (the working folder unless given: the program there) and waits for
# its first screen. A desktop left by an earlier test would sit on that test's display: end it first.
start_wine_program() {
  local folder=$work program=$pelorin_exe
  if [ -n "${1:-}" ]; then
    folder=$1
    program=$1/pelorin.exe
  fi
  end_wine
  (cd "$folder" && exec "$wine_run" "$program" >"$work/stdout.txt" 2>"$work/stderr.txt") &
  program_pid=$!
  TIMEOUT=60 wait_screen "the first screen drawn" drawn
}

