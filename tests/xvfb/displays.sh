#!/usr/bin/env bash
# The subject's display on a machine with two: an X server with two monitors side by side (display 0,
# 1024 x 768 at 0,0; display 1, 800 x 600 at 1024,0), as a lab's PC with the experimenter's and the
# subject's monitor. A display that is not there is refused with its reason, exit code 2 and nothing
# written, from the command line and from pelorin.ini; pelorin.ini's display=1 (a double-click, the
# file saved as Notepad's "Unicode", what it skipped shown in a box) puts the screens, the message
# boxes and the debug window on display 1; --check --display 1 lists
# both displays and shows display 0's number on it while it checks there.
#
# Xvfb has one RandR output whatever its screens and monitors, and SDL lists outputs: the server here
# is Xorg with its dummy driver, whose outputs DUMMY0 and DUMMY1 are two displays to SDL as to any
# desktop.
#   displays.sh PELORIN MAKE_WAVES DEMO_DIR
source "$(dirname "$0")/lib.sh"

pelorin=$1
TIMEOUT=90
skip() {
  if [ "${CI:-}" = true ]; then echo "FAIL: not run on CI: $*" >&2; exit 1; fi
  echo "SKIP: $*"
  exit 77
}
command -v Xorg >/dev/null && [ -e /usr/lib/xorg/modules/drivers/dummy_drv.so ] ||
  skip "no Xorg with the dummy driver (xserver-xorg-core, xserver-xorg-video-dummy)"
command -v xrandr >/dev/null || skip "no xrandr (x11-xserver-utils)"

work=$(mktemp -d "${TMPDIR:-/tmp}/pelorin-displays-XXXXXX")
cat >"$work/xorg.conf" <<'EOF'
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 64000
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 1824 768
    Modes "1024x768"
  EndSubSection
EndSection
EOF
for _ in $(seq 20); do
  number=$((200 + RANDOM % 700))
  [ -e "/tmp/.X${number}-lock" ] && continue
  Xorg ":$number" -config "$work/xorg.conf" -noreset -nolisten tcp -logfile "$work/xorg.log" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    xwininfo -display ":$number" -root >/dev/null 2>&1 && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$xvfb_pid" 2>/dev/null && xwininfo -display ":$number" -root >/dev/null 2>&1 && break
  xvfb_pid=""
done
[ -n "$xvfb_pid" ] || skip "Xorg with the dummy driver does not start here: $(tail -3 "$work/xorg.log" 2>/dev/null)"
export DISPLAY=":$number" SDL_AUDIODRIVER=dummy
xrandr --addmode DUMMY1 800x600 && xrandr --output DUMMY1 --mode 800x600 --right-of DUMMY0 ||
  fail "cannot switch on the second output"
xrandr --listmonitors | grep -q "DUMMY1 800/[0-9]*x600/[0-9]*+1024+0" || fail "no second monitor: $(xrandr --listmonitors)"
WIDTH=1824
HEIGHT=768
# Drawn: the screens' grey at the bottom left of display 1, where they are.
drawn() { [ "$(pixel "$1" 1026 597)" = "srgb(212,208,200)" ]; }
prepare_demo_data "$2" "$3"
folder() { (cd "$work" && find . | grep -Ev '^\./(stdout\.txt|stderr\.txt|[a-z0-9-]+\.png|xorg\.(conf|log)(\.old)?)$' | sort); }
before=$(folder)

# A display that is not there: the reason, exit code 2, nothing written; and no window opened.
code=0
(cd "$work" && "$pelorin" --display 2 >"$work/stdout.txt" 2>"$work/stderr.txt") || code=$?
[ "$code" = 2 ] || fail "--display 2 exits with $code"
grep -qxF "pelorin: --display 2: there is no display 2: this PC has 2 displays, 0 to 1 (pelorin --check lists them)" \
  "$work/stderr.txt" || fail "--display 2 says: $(cat "$work/stderr.txt")"
printf 'display = 5\n' >"$work/pelorin.ini"
# Read by a double-click: said in the system's message box too, which is answered.
(cd "$work" && exec "$pelorin" --pilot >"$work/stdout.txt" 2>"$work/stderr.txt") &
program_pid=$!
answer_failure_box
wait_exit
code=$exit_code
[ "$code" = 2 ] || fail "display = 5 in pelorin.ini exits with $code"
grep -qF "pelorin: pelorin.ini line 1: there is no display 5" "$work/stderr.txt" ||
  fail "display = 5 says: $(cat "$work/stderr.txt")"
rm "$work/pelorin.ini"
[ "$(folder)" = "$before" ] || fail "a refused display wrote: $(folder)"

# A window's place and size on the desktop: "x y width height".
placed() {
  local id
  id=$(xdotool search --onlyvisible --name "$1" | head -1)
  [ -n "$id" ] || fail "no window $1"
  xwininfo -id "$id" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width:/{w=$2} /Height:/{h=$2} END{print x, y, w, h}'
}
# Pixels of a colour in a part of a screenshot: x, y, width, height.
count_in() {
  convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -fill black +opaque "$6" -fill white -opaque "$6" \
    -format "%[fx:round(mean*w*h)]" info:
}

# pelorin.ini beside instruction.txt, as a lab leaves it for a double-click (no option given), saved
# by Notepad as "Unicode" (UTF-16 LE after its byte order mark), with a line it cannot use and a second
# display= after the first: the first holds, and the box that names what was skipped is on display 1,
# before the registration screen takes a key.
{ printf '\xff\xfe'; printf '# The subjects\x27 monitor\r\ndisplay=1\r\nmonitor=left\r\ndisplay=0\r\n' |
  iconv -f ascii -t utf-16le; } >"$work/pelorin.ini"
start_program "$pelorin"
[ "$(placed "^Pelorin$")" = "1024 0 800 600" ] || fail "the screens are not on display 1: $(placed "^Pelorin$")"
wait_screen "the settings skipped" box_shown
image=$(shot settings-on-1)
[ "$(count_in "$image" 0 0 1024 768 "$MESSAGE_BOX_TITLE")" = 0 ] &&
  [ "$(count_in "$image" 1024 0 800 600 "$MESSAGE_BOX_TITLE")" -gt 2000 ] || fail "the settings box is not on display 1: $image"
grep -qF 'pelorin.ini line 3: unknown setting "monitor"; skipped' "$work/stderr.txt" &&
  grep -qF 'pelorin.ini line 4: display is given on line 2 already, and the first holds; skipped' "$work/stderr.txt" ||
  fail "the skipped lines are not said: $(cat "$work/stderr.txt")"
keys Return
wait_screen "the settings box gone" box_gone
# The quit question over the registration screen: on display 1, nothing of it on display 0.
keys Escape
wait_screen "the quit question" box_shown
image=$(shot question-on-1)
[ "$(count_in "$image" 0 0 1024 768 "$MESSAGE_BOX_TITLE")" = 0 ] || fail "the message box reaches display 0: $image"
[ "$(count_in "$image" 1024 0 800 600 "$MESSAGE_BOX_TITLE")" -gt 2000 ] || fail "no message box on display 1: $image"
keys n
wait_screen "the question gone" box_gone
# The debug window: at the top left of display 1, as wide as it.
register_and_start_blocks
wait_screen "the first block" bars_shown
keys grave
xdotool search --sync --onlyvisible --name "^My Debug Window$" >/dev/null
debug=$(placed "^My Debug Window$")
read -r x y w _ <<<"$debug"
[ "$x" -ge 1024 ] && [ "$y" -ge 0 ] && [ "$y" -lt 60 ] && [ "$((x + w))" -le 1824 ] && [ "$w" -ge 780 ] ||
  fail "the debug window is not across the top of display 1: $debug"
shot debug-on-1 >/dev/null
keys Escape
wait_screen "the quit question" box_shown
keys y
wait_exit
[ "$exit_code" = 0 ] || fail "the run ended with $exit_code"
rm -rf "$work/CurrentSubjects.txt" "$work/Res_Data" "$work/pelorin.ini"

# The check on display 1: both displays listed, and display 0 shows its number while it checks.
start_program "$pelorin" --check --display 1
[ "$(placed "^Pelorin$")" = "1024 0 800 600" ] || fail "the check is not on display 1: $(placed "^Pelorin$")"
number=$(placed "^Pelorin display number$")
[ "$number" = "384 256 256 256" ] || fail "display 0's number is not in its middle: $number"
image=$(shot check-numbers)
# The digit 0 is black on white: both in the number's square.
[ "$(count_in "$image" 384 256 256 256 "rgb(0,0,0)")" -gt 1000 ] || fail "no number drawn on display 0: $image"
wait_exit
[ "$exit_code" = 0 ] || fail "the check ended with $exit_code: $(cat "$work/stderr.txt")"
report=$(ls "$work"/timing-check-*.txt)
grep -Eq "^  display 0 +DUMMY0: 1024 x 768 at 0,0, [0-9]+ Hz, 96 dpi$" "$report" || fail "display 0 not listed: $(cat "$report")"
grep -Eq "^  display 1 \(checked\) +DUMMY1: 800 x 600 at 1024,0, [0-9]+ Hz, 96 dpi$" "$report" ||
  fail "display 1 not listed: $(cat "$report")"
grep -Eq "^  size +800 x 600 pixels$" "$report" || fail "not the size of display 1: $(cat "$report")"
passed=1
