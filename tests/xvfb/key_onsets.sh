#!/usr/bin/env bash
# Keys keep the times they were typed at, also while a tone plays: in the tone block, an answer key
# every 600 ms and a stray key 150 ms after each, in the middle of the tone the answer brings, all
# sent through the X server's test extension at known times; every key's row in the events file stands
# where its key was sent (the gaps between rows are the gaps between sends). In the dual block, the
# letter that follows a letter answer (the same letter again a third of the time, which changes no
# pixel) has its onset after the answer's 25 ms wait, never at a frame presented before it.
#   key_onsets.sh PELORIN MAKE_WAVES DEMO_DIR KEY_TYPIST
source "$(dirname "$0")/lib.sh"
TIMEOUT=150
typist=$4
# How far a key's row may stand from its send, after the smallest such difference of the run: a
# loaded machine's scheduling, far below the 150 to 300 ms a key typed during a tone waited to be read.
SLACK_MICROS=15000

start_display
prepare_demo_data "$2" "$3"
start_program "$1"
register_and_start_blocks

bars_gone() { ! bars_shown "$1"; }
# The columns by name, from the header: the file's columns may grow.
column() { head -1 "$1" | tr '\t' '\n' | grep -n -x "$2" | cut -d: -f1; }

wait_screen "the tone block" bars_shown
# The first tone has played and is waiting for its answer.
sleep 1
schedule=()
for i in $(seq 0 11); do schedule+=("$((i * 600)):x" "$((i * 600 + 150)):q"); done
"$typist" "${schedule[@]}" >"$work/sent.txt" || fail "the keys could not be sent"

# Unanswered, the tone and the letter blocks end by overflow; then letter keys in the dual block.
wait_screen "the end of the tone block" bars_gone
wait_screen "the letter block" bars_shown
wait_screen "the end of the letter block" bars_gone
wait_screen "the dual block" bars_shown
sleep 0.5
schedule=()
for i in $(seq 0 19); do schedule+=("$((i * 300)):$(echo bnm | cut -c$((i % 3 + 1)))"); done
"$typist" "${schedule[@]}" >"$work/letters_sent.txt" || fail "the letter keys could not be sent"
sleep 0.5
quit_by_question y

events=$(find "$work/Res_Data" -name 'sub-*_events.tsv' | head -1)
[ -n "$events" ] || fail "no events file"
onset=$(column "$events" onset)
type=$(column "$events" trial_type)
key=$(column "$events" key)
stimulus=$(column "$events" stimulus)

# The tone block's response rows, in order, beside the keys sent.
awk -F'\t' -v o="$onset" -v t="$type" -v k="$key" 'NR > 1 && $t == "response" { print $o, $k; n++ } n == 24 { exit }' \
  "$events" >"$work/rows.txt"
paste -d' ' "$work/sent.txt" "$work/rows.txt" >"$work/pairs.txt"
[ "$(wc -l <"$work/rows.txt")" = 24 ] || fail "not a row for each of the 24 keys: $(cat "$work/rows.txt")"
awk '$2 != $4 { exit 1 }' "$work/pairs.txt" || fail "the rows are not the keys sent, in order: $(cat "$work/pairs.txt")"
# Each row's onset minus its send, less the smallest of them (the two clocks count from different
# zeros): the stray keys, read by the program only once their tone had played, stand where they were sent.
awk -v slack="$SLACK_MICROS" '
  { lag[NR] = $3 * 1e6 - $1; if (NR == 1 || lag[NR] < least) least = lag[NR] }
  END {
    for (i = 1; i <= NR; i++) {
      late = lag[i] - least
      if (late > worst) worst = late
      if (late > slack) { printf "key %d stands %.1f ms after its send\n", i, late / 1000; bad = 1 }
    }
    printf "24 keys, 12 during tones: the latest row %.2f ms from its send\n", worst / 1000
    exit bad
  }' "$work/pairs.txt" >"$work/lags.txt" || fail "$(cat "$work/lags.txt")"
cat "$work/lags.txt"

# The dual block: every letter that follows a letter answer comes a wait of 25 ms or more after it.
awk -F'\t' -v o="$onset" -v t="$type" -v k="$key" -v s="$stimulus" '
  NR > 1 && $t == "block_start" { dual++ }
  dual == 3 && $t == "response" && $k ~ /^[bnm]$/ { answered = $o }
  dual == 3 && $t == "letter" && answered != "" {
    gap = ($o - answered) * 1000
    if ($s == previous) repeats++
    if (gap < 25) { printf "a letter %.2f ms after the answer before it\n", gap; bad = 1 }
    letters++
    answered = ""
  }
  dual == 3 && $t == "letter" { previous = $s }
  END { printf "%d letters after answers, %d of them repeated\n", letters, repeats; exit bad || letters < 10 || repeats < 1 }
' "$events" >"$work/letters.txt" || fail "$(cat "$work/letters.txt")"
cat "$work/letters.txt"
passed=1
