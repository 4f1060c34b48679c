#!/usr/bin/env bash
# Keys keep the times they were typed at, also while a tone plays: in the tone block, an answer key
# every 600 ms and a stray key 150 ms after each, in the middle of the tone the answer brings, all
# sent through the X server's test extension at known times; every key's row in the events file stands
# where its key was sent (the gaps between rows are the gaps between sends). A third key 30 ms after
# each answer falls just after the call of the tone the answer brings, before its first sample reaches
# the output: its row comes before that tone's, as every row stands in onset order, and no response
# time is negative. In the dual block, the
# letter that follows a letter answer (the same letter again a third of the time, which changes no
# pixel) has its onset after the answer's 25 ms wait, never at a frame presented before it; and each
# letter's onset is the time the X server gave the refresh that showed its frame, as an outside
# client watching the window's Present events is told it (PRESENT_WATCH), after the file's constant
# offset, within 0.1 ms: shown by the first or second refresh after its drawing, none missing. The
# sidecar counts each block's frames, the dual block's as many as the outside client saw.
#   key_onsets.sh PELORIN MAKE_WAVES DEMO_DIR KEY_TYPIST PRESENT_WATCH
# KEY_ONSETS_CYCLES (12) and KEY_ONSETS_PERIOD (600 ms) set the tone block's answers, for a longer
# measurement; KEY_ONSETS_AUDIODRIVER plays through another SDL audio driver than the silent dummy.
source "$(dirname "$0")/lib.sh"
TIMEOUT=150
typist=$4
watch=$5
cycles=${KEY_ONSETS_CYCLES:-12}
period=${KEY_ONSETS_PERIOD:-600}
# How far a key's row may stand from its send, after the smallest such difference of the run: well
# below the 200 ms a key typed during a tone waited to be read. A machine loaded many times over its
# cores now and then holds the X server or the program that long: two such keys of the run are let pass.
SLACK_MICROS=50000
LATE_KEYS_ALLOWED=2

start_display
if [ -n "${KEY_ONSETS_AUDIODRIVER:-}" ]; then export SDL_AUDIODRIVER=$KEY_ONSETS_AUDIODRIVER; fi
prepare_demo_data "$2" "$3"
start_program "$1"
window=$(xdotool search --name "^Pelorin$" | head -1)
[ -n "$window" ] || fail "no window named Pelorin"
"$watch" "$window" >"$work/presents.txt" 2>"$work/watch_errors.txt" &
for _ in $(seq 50); do grep -q watching "$work/presents.txt" 2>/dev/null && break; sleep 0.1; done
grep -q watching "$work/presents.txt" || fail "the window's presents cannot be watched: $(cat "$work/watch_errors.txt")"
register_and_start_blocks

bars_gone() { ! bars_shown "$1"; }
# The columns by name, from the header: the file's columns may grow.
column() { head -1 "$1" | tr '\t' '\n' | grep -n -x "$2" | cut -d: -f1; }

wait_screen "the tone block" bars_shown
# The first tone has played and is waiting for its answer.
sleep 1
schedule=()
for i in $(seq 0 $((cycles - 1))); do
  schedule+=("$((i * period)):x" "$((i * period + 30)):k" "$((i * period + 150)):q")
done
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

# Every row in onset order; no response time below 0.
awk -F'\t' -v o="$onset" -v t="$type" -v r="$(column "$events" response_time)" '
  NR > 1 && $o < last { printf "line %d: %s at %s after %s\n", NR, $t, $o, last; bad = 1 }
  NR > 1 { last = $o }
  NR > 1 && $r != "n/a" && $r < 0 { printf "line %d: response time %s\n", NR, $r; bad = 1 }
  END { exit bad }' "$events" >"$work/order.txt" || fail "rows out of onset order: $(cat "$work/order.txt")"
# The keys typed after a tone's call and before its first sample (the program says how long that is):
# each row comes right before the tone's.
latency=$(sed -n 's/.*sounds start \([0-9.]*\) ms after.*/\1/p' "$work/stdout.txt")
[ -n "$latency" ] || fail "the program did not say its sounds' latency: $(cat "$work/stdout.txt")"
awk -F'\t' -v o="$onset" -v t="$type" -v k="$key" -v lat="$latency" '
  NR > 1 && $t == "response" && $k == "k" { typed = $o; next }
  NR > 1 && $t == "tone" && typed != "" { if (typed >= $o - lat / 1000) early++; typed = "" }
  NR > 1 { typed = "" }
  END { printf "%d keys typed between a tone'"'"'s call and its first sample (%s ms)\n", early, lat; exit early < 2 }
' "$events" >"$work/early.txt" || fail "$(cat "$work/early.txt")"
cat "$work/early.txt"

# The tone block's response rows, in order, beside the keys sent.
keys=$((3 * cycles))
awk -F'\t' -v o="$onset" -v t="$type" -v k="$key" -v n="$keys" \
  'NR > 1 && $t == "response" { print $o, $k; if (++rows == n) exit }' "$events" >"$work/rows.txt"
paste -d' ' "$work/sent.txt" "$work/rows.txt" >"$work/pairs.txt"
[ "$(wc -l <"$work/rows.txt")" = "$keys" ] || fail "not a row for each of the $keys keys: $(cat "$work/rows.txt")"
awk '$2 != $4 { exit 1 }' "$work/pairs.txt" || fail "the rows are not the keys sent, in order: $(cat "$work/pairs.txt")"
# The tones' spans, to tell the keys typed while one played.
awk -F'\t' -v o="$onset" -v t="$type" -v d="$(column "$events" duration)" \
  'NR > 1 && $t == "tone" { print $o, $o + $d }' "$events" >"$work/tones.txt"
# Each row's onset minus its send, less the smallest of them (the two clocks count from different
# zeros): the keys typed during a tone, read by the program only once it had played, stand where they
# were sent.
awk -v slack="$SLACK_MICROS" -v allowed="$LATE_KEYS_ALLOWED" '
  function summary(name, values, count,    i, j, swap) {
    for (i = 2; i <= count; i++) for (j = i; j > 1 && values[j - 1] > values[j]; j--) {
      swap = values[j]; values[j] = values[j - 1]; values[j - 1] = swap
    }
    if (count > 0) printf "%s: n %d, p50 %.3f ms, max %.3f ms\n", name, count, values[int((count + 1) / 2)], values[count]
  }
  FILENAME ~ /tones/ { from[++tones] = $1 * 1e6; to[tones] = $2 * 1e6; next }
  { sent[NR - tones] = $1; lag[NR - tones] = $3 * 1e6 - $1; if (NR - tones == 1 || lag[NR - tones] < least) least = lag[NR - tones] }
  END {
    keys = NR - tones
    for (i = 1; i <= keys; i++) {
      late = lag[i] - least
      if (late > slack) { printf "key %d stands %.1f ms after its send\n", i, late / 1000; lates++ }
      typed = sent[i] + least
      during = 0
      for (t = 1; t <= tones; t++) if (typed >= from[t] && typed < to[t]) during = 1
      if (during) in_tone[++n_in] = late / 1000; else between[++n_out] = late / 1000
    }
    summary("keys typed while a tone played, row - send (less the least)", in_tone, n_in)
    summary("keys typed between tones, row - send (less the least)", between, n_out)
    exit lates > allowed || n_in < keys / 4
  }' "$work/tones.txt" "$work/pairs.txt" >"$work/lags.txt" || fail "$(cat "$work/lags.txt")"
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

# The dual block's letters against the refreshes the X server said it showed frames at.
python3 - "$events" "$work/presents.txt" >"$work/refreshes.txt" <<'CHECK' || fail "$(cat "$work/refreshes.txt")"
import csv, sys
rows = list(csv.DictReader(open(sys.argv[1]), delimiter="\t"))
usts = sorted(int(line.split()[2]) for line in open(sys.argv[2]) if line[0].isdigit())
starts = [i for i, row in enumerate(rows) if row["trial_type"] == "block_start"]
dual = rows[starts[2]:]
micros = lambda row: round(float(row["onset"]) * 1e6)
letters = [row for row in dual if row["trial_type"] == "letter"]
answers = [row for row in dual if row["trial_type"] == "response" and row["channel"] == "letter"]
bad = [f"letter {row['stimulus']} at {row['onset']}: onset_source {row['onset_source']}"
       for row in letters if row["onset_source"] != "display_refresh"]
if not usts or not letters:
    sys.exit(f"{len(usts)} frames shown through the Present extension, {len(letters)} letter rows")
if len(letters) != len(answers) + 1:
    bad.append(f"{len(letters)} letter rows for {len(answers)} letter answers and the first letter")
# The program's clock and the refreshes' count from different zeros: the offset that puts the most
# letters on a refresh is the file's.
def near(value):
    import bisect
    i = bisect.bisect_left(usts, value)
    return min((usts[j] for j in (i - 1, i) if 0 <= j < len(usts)), key=lambda u: abs(u - value), default=None)
offsets = [micros(letters[0]) - u for u in usts]
offset = max(offsets, key=lambda c: sum(abs(near(micros(l) - c) - (micros(l) - c)) <= 100 for l in letters))
for row in letters:
    shown = near(micros(row) - offset)
    if abs(shown - (micros(row) - offset)) > 100:
        bad.append(f"letter {row['stimulus']} at {row['onset']}: {(micros(row) - offset - shown) / 1000:.3f} ms from the nearest refresh")
# Drawn after its answer's 25 ms wait, it shows at the first refresh after that, or the one after when
# a frame was on its way.
for row in letters:
    before = [micros(a) for a in answers if micros(a) < micros(row)]
    if not before:
        continue
    drawn = before[-1] + 25000 - offset
    between = [u for u in usts if drawn <= u < micros(row) - offset - 100]
    if len(between) > 1:
        bad.append(f"letter {row['stimulus']} at {row['onset']}: {len(between)} refreshes between its drawing and its onset")
print(f"{len(letters)} letters, each on a refresh the X server reported (offset {offset} us); {len(usts)} frames shown")
print("\n".join(bad))
sys.exit(1 if bad else 0)
CHECK
cat "$work/refreshes.txt"

# Each block's frames in the sidecar, stamped at the refresh: the dual block's as many as the X
# server told the outside client it showed between its start and the quit, give or take the frames
# of the block's edges.
offset=$(sed -n 's/.*(offset \(-\?[0-9]*\) us).*/\1/p' "$work/refreshes.txt")
python3 - "$events" "${events%.tsv}.json" "$work/presents.txt" "$offset" >"$work/frames.txt" <<'CHECK' || fail "$(cat "$work/frames.txt")"
import csv, json, sys
rows = list(csv.DictReader(open(sys.argv[1]), delimiter="\t"))
blocks = json.load(open(sys.argv[2]))["StimulusPresentation"]["BlockFrames"]
usts = sorted(int(line.split()[2]) for line in open(sys.argv[3]) if line[0].isdigit())
bad = []
if [(b["Block"], b["Task"]) for b in blocks] != [(1, "tone"), (2, "letter"), (3, "dual")]:
    bad.append(f"the blocks listed: {blocks}")
for b in blocks:
    if b.get("FrameStamp") != "display_refresh" or not 0 < b.get("FramesShown", 0) or not 0 <= b.get("FramesLate", -1) <= b["FramesShown"]:
        bad.append(f"block {b.get('Block')}: {b}")
# The offset between the file's clock and the refreshes' that the letters gave above places the block.
micros = lambda row: round(float(row["onset"]) * 1e6)
offset = int(sys.argv[4])
start = next(micros(r) for r in rows if r["trial_type"] == "block_start" and r["block"] == "3")
end = next(micros(r) for r in rows if r["trial_type"] == "quit")
seen = sum(start - offset <= u <= end - offset for u in usts)
if len(blocks) == 3 and abs(blocks[2].get("FramesShown", 0) - seen) > 3:
    bad.append(f"the dual block counted {blocks[2].get('FramesShown')} frames, the X server showed {seen}")
print("frames shown (late) per block: " + ", ".join(f"{b.get('FramesShown')} ({b.get('FramesLate')})" for b in blocks) +
      f"; the X server showed {seen} in the dual block")
print("\n".join(bad))
sys.exit(1 if bad else 0)
CHECK
cat "$work/frames.txt"
passed=1
