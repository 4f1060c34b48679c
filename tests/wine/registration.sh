#!/usr/bin/env bash
# pelorin.exe under Wine with no sound device, as on a lab PC with the speakers unplugged: it says so
# in pelorin.log and runs on. Registration typed as a person would: a registered ID gets the duplicate
# message naming the list by its Windows path; a new one is appended, after the line end the list's
# last line lacked, byte for byte with CR LF. The quit question answered Yes ends it with 0.
#   registration.sh WINE_RUN PELORIN_EXE MAKE_WAVES_EXE DEMO_DIR
source "$(dirname "$0")/lib.sh"

start_display
# Wine has no sound device: the program's own path for none, not SDL's dummy driver.
unset SDL_AUDIODRIVER
prepare_wine_demo_data
# As a text editor may leave it: no line end after the last record.
printf ' 12 kvt 1 ' >"$work/CurrentSubjects.txt"
start_wine_program

grep -q "no audio device (.*); running silent" "$work/pelorin.log" 2>/dev/null ||
  fail "no warning in pelorin.log: $(cat "$work/pelorin.log" 2>/dev/null)"

# A registered ID is refused when the focus leaves the box.
type_text "12"
keys Tab
wait_screen "the duplicate ID message" box_shown
image=$(shot duplicate)
if command -v tesseract >/dev/null; then
  # The message names the list where the program looked: Wine's Z: drive and backslashes.
  convert "$image" -crop 700x200+162+284 -resize 300% -colorspace Gray "$work/duplicate-text.png"
  text=$(tesseract "$work/duplicate-text.png" - 2>/dev/null | tr -d '\n ')
  # The folder's random letters (l, I, 1) are not read reliably; its shape is.
  pattern='LookinZ:\\tmp\\pelorin-xvfb-[^\/]+\\CurrentSubjects\.txt'
  [[ "$text" =~ $pattern ]] || fail "the duplicate message does not name $(windows_path "$work/CurrentSubjects.txt"): $text"
fi
keys Return
wait_screen "the duplicate message to go" box_gone
keys BackSpace BackSpace
type_text "13"
keys Tab
type_text "kb"
keys Tab
type_text "1"
keys Return

wait_file "$work/Res_Data"
[ -d "$work/Res_Data" ] || fail "Res_Data is not a folder"
expect_subject_list "$work/CurrentSubjects.txt" ' 12 kvt 1 \r\n 13 kb 1 \r\n'

sleep 0.5
quit_by_question Return
passed=1
