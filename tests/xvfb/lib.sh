# Shared by the real-window tests: an Xvfb of their own, a fresh folder, the program started in it,
# and screenshots to wait on and check. Source it, then call start_display.
set -euo pipefail

WIDTH=1024
HEIGHT=768
TIMEOUT=${TIMEOUT:-20}
program_pid=""
xvfb_pid=""
work=""

fail() {
  echo "FAIL: $*" >&2
  if [ -n "$work" ] && [ -n "${DISPLAY:-}" ]; then
    import -window root "$work/failure.png" 2>/dev/null && echo "screen at failure: $work/failure.png" >&2
  fi
  # What the program said: CI keeps the log and not the folder.
  local said
  for said in "$work/stderr.txt" "$work/stdout.txt" "$work/pelorin.log"; do
    if [ -n "$work" ] && [ -s "$said" ]; then
      echo "last lines of ${said##*/}:" >&2
      tail -n 20 "$said" | tr -d '\r' | sed 's/^/  /' >&2
    fi
  done
  exit 1
}

cleanup() {
  if [ -n "$program_pid" ]; then kill "$program_pid" 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null || true; fi
  # The folder stays when the test failed, with its screenshots.
  if [ "${passed:-0}" = 1 ] && [ -n "$work" ]; then rm -rf "$work"; fi
  return 0
}
trap cleanup EXIT

# Starts an Xvfb on a display number picked at random from a high range, trying another number when
# that one is taken, and waits until it answers. The lowest free number, which Xvfb would pick itself,
# is often one that another test's server has just let go of while it still tidies its socket away.
# Sets launched_display and launched_pid.
launch_xvfb() {
  local number
  for _ in $(seq 20); do
    number=$((200 + RANDOM % 700))
    [ -e "/tmp/.X${number}-lock" ] && continue
    # No reset when the last client leaves: the program connecting right after the readiness check
    # would find the server mid-reset and no display.
    Xvfb ":$number" -screen 0 "${WIDTH}x${HEIGHT}x24" -nolisten tcp -noreset >/dev/null 2>&1 &
    launched_pid=$!
    for _ in $(seq 100); do
      # Answering, and still running: not another test's server on a number taken meanwhile.
      if xwininfo -display ":$number" -root >/dev/null 2>&1 && sleep 0.1 && kill -0 "$launched_pid" 2>/dev/null; then
        launched_display=":$number"
        return 0
      fi
      kill -0 "$launched_pid" 2>/dev/null || break
      sleep 0.05
    done
    kill "$launched_pid" 2>/dev/null && wait "$launched_pid" 2>/dev/null || true
  done
  fail "Xvfb did not start"
}

# Starts an Xvfb of its own and a fresh working folder.
start_display() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/pelorin-xvfb-XXXXXX")
  launch_xvfb
  xvfb_pid=$launched_pid
  export DISPLAY=$launched_display
  export SDL_AUDIODRIVER=dummy
}

# Puts the demo data into the working folder: the instruction text and generated tones.
prepare_demo_data() {
  local make_waves=$1 demo=$2
  cp "$demo/instruction.txt" "$work/"
  mkdir -p "$work/wave"
  "$make_waves" "$work/wave" >/dev/null
}

# Waits until a file exists.
wait_file() {
  for _ in $(seq $((TIMEOUT * 10))); do
    [ -e "$1" ] && return 0
    sleep 0.1
  done
  fail "waiting for $1"
}

# Starts a program in the working folder, its output in files there, and waits for its window.
start_program() {
  local attempt
  for attempt in 1 2; do
    (cd "$work" && exec "$@" >"$work/stdout.txt" 2>"$work/stderr.txt") &
    program_pid=$!
    for _ in $(seq 200); do
      if xdotool search --onlyvisible --name "^Pelorin$" >/dev/null 2>&1; then
        wait_screen "the first screen drawn" drawn
        return
      fi
      kill -0 "$program_pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -0 "$program_pid" 2>/dev/null && fail "no window appeared; the program said: $(cat "$work/stderr.txt")"
    # A loaded machine's Xvfb now and then refuses a connection for a moment although it answers
    # before and after: one more start then, said in the log, and never more than one.
    if [ "$attempt" = 1 ] && grep -q "no display to open a window on" "$work/stderr.txt" &&
      xwininfo -root >/dev/null 2>&1; then
      echo "note: the display refused the program's first connection; starting it once more" >&2
      sleep 0.5
      continue
    fi
    fail "the program ended at start: $(cat "$work/stderr.txt")"
  done
}

# A failure before the window opens is shown in the system's message box too (SDL's, titled Pelorin,
# without a window of the program's): once it is up, a screenshot of it goes to failure-box.png and it
# is answered with Return, the pointer over it. Returns when the box is answered or the program has
# ended without one; failure_box_seen says which, failure_box_text what the box said (read from the
# screenshot).
failure_box_seen=0
failure_box_text=""
answer_failure_box() {
  failure_box_seen=0
  local place
  for _ in $(seq $((TIMEOUT * 10))); do
    kill -0 "$program_pid" 2>/dev/null || return 0
    # "0x200002 "Pelorin": ()  590x100+217+222  +217+222": its size and where it stands.
    place=$(xwininfo -root -tree 2>/dev/null | awk '/ "Pelorin": / {print $(NF-1), $NF; exit}')
    if [ -n "$place" ]; then
      sleep 0.3
      shot failure-box >/dev/null
      read -r width height left top < <(sed -E 's/^([0-9]+)x([0-9]+)[^ ]* \+(-?[0-9]+)\+(-?[0-9]+)$/\1 \2 \3 \4/' <<<"$place")
      # Light text on a dark box: cut out, turned dark on light and enlarged for the OCR.
      convert "$work/failure-box.png" -crop "${width}x${height}+${left}+${top}" +repage -colorspace Gray -negate \
        -resize 300% "$work/failure-box-text.png"
      failure_box_text=$(tesseract "$work/failure-box-text.png" - 2>/dev/null | tr '\n' ' ')
      xdotool mousemove $((left + width / 2)) $((top + height / 2))
      keys Return
      failure_box_seen=1
      return 0
    fi
    sleep 0.1
  done
  fail "the program neither ended nor showed its failure"
}

# Waits for the program to end; its exit code goes to exit_code.
exit_code=""
wait_exit() {
  for _ in $(seq $((TIMEOUT * 10))); do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$program_pid" 2>/dev/null; then fail "the program did not end"; fi
  exit_code=0
  wait "$program_pid" || exit_code=$?
  program_pid=""
}

shot() { import -window root "$work/$1.png" 2>/dev/null; echo "$work/$1.png"; }

# Number of pixels of exactly this colour in an image.
count_color() {
  convert "$1" -fill black +opaque "$2" -fill white -opaque "$2" -format "%[fx:round(mean*w*h)]" info:
}

pixel() { convert "$1" -format "%[pixel:p{$2,$3}]" info:; }

# Screens are the button-face grey where nothing is drawn; the display starts black.
drawn() { [ "$(pixel "$1" 2 $((HEIGHT - 3)))" = "srgb(212,208,200)" ]; }

# Waits until a screenshot satisfies a test given as a command that gets the image's path.
wait_screen() {
  local what=$1
  shift
  local image
  for _ in $(seq $((TIMEOUT * 5))); do
    image=$(shot current)
    if "$@" "$image"; then return 0; fi
    sleep 0.1
  done
  fail "waiting for $what"
}

# Message boxes have a navy title bar, which nothing else on the screens has.
MESSAGE_BOX_TITLE="rgb(0,0,128)"
box_shown() { [ "$(count_color "$1" "$MESSAGE_BOX_TITLE")" -gt 2000 ]; }
box_gone() { [ "$(count_color "$1" "$MESSAGE_BOX_TITLE")" -eq 0 ]; }

# Presses keys as a person does: one at a time, with time between them.
keys() { xdotool key --delay 80 "$@"; sleep 0.2; }

# Quick fill, Enter registers; Continue on the instructions, then on to the blocks.
register_and_start_blocks() {
  keys ctrl+Tab
  keys Return
  wait_file "${1:-$work}/Res_Data"
  sleep 0.5
  keys Return
  sleep 0.5
  keys Return
}

RED="rgb(255,0,0)"
bars_shown() { [ "$(count_color "$1" "$RED")" -gt 1000 ]; }

# Esc, then KEY to answer the quit question Yes: the program must end with 0. DESCRIPTION names the
# question in a failure.
quit_by_question() {
  keys Escape
  wait_screen "${2:-the quit question}" box_shown
  keys "$1"
  wait_exit
  [ "$exit_code" = 0 ] || fail "the program ended with $exit_code"
}

# The subject list at PATH must be exactly the bytes printf makes of FORMAT.
expect_subject_list() {
  # shellcheck disable=SC2059
  printf "$2" >"$work/expected.txt"
  cmp "$work/expected.txt" "$1" || fail "the subject list is not as expected: $(od -c "$1")"
}

# A PulseAudio server of the test's own (tests/pulse_server.sh), with a null sink the program plays
# into, stopped with the test; where none starts the test skips (exit 77), and on CI fails.
start_pulse_server() {
  pulse_server_sh=$1
  server=$work/pulse
  stop_server() { bash "$pulse_server_sh" stop "$server"; cleanup; }
  trap stop_server EXIT
  bash "$pulse_server_sh" start "$server"
  if ! PULSE_SERVER="unix:$server/native" pactl info >/dev/null 2>&1; then
    [ "${CI:-}" = true ] && fail "no PulseAudio server started"
    echo "SKIP: no PulseAudio server started (is pulseaudio installed?)"
    passed=1
    exit 77
  fi
  export PULSE_SERVER="unix:$server/native" PULSE_SINK=pelorin_test
  unset SDL_AUDIODRIVER
}
