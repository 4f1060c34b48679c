#!/usr/bin/env bash
# The tones of a whole real-window run of the program: build/pelorin on an Xvfb display, registered
# and taken into the tone block as a subject, sound through a PulseAudio null sink of the run's own,
# the subject answering every tone with x at random 300 to 800 ms after it began until the block
# ends. The sink's monitor is recorded beside the program (build/bench/pelorin_bench
# --record-tones-beside), and each tone row of the results file is set against the recording; the
# file's onsets are on the program's own clock, so they are lined up with the recording first and
# only their spread counts; the recording's frames are put on that clock at the pace the sink kept,
# measured from their arrivals. Only the tones the file calls exact (audio_clock) are held to 0.5 ms.
# Run from the repository's top folder after scripts/bench has built it.
#   bench/whole_run_tones.sh [SECONDS [DISPLAY]]   (answering time, 55 s unless given; display :72)
source "$(dirname "$0")/../tests/xvfb/lib.sh"
TIMEOUT=30
seconds=${1:-55}
top=$(pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/pelorin-whole-run-XXXXXX")
export DISPLAY=${2:-:72}
Xvfb "$DISPLAY" -screen 0 "${WIDTH}x${HEIGHT}x24" -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  xwininfo -root >/dev/null 2>&1 && break
  sleep 0.05
done
xwininfo -root >/dev/null 2>&1 || fail "Xvfb did not start on $DISPLAY"
prepare_demo_data "$top/build/tools/make_waves" "$top/demo"

mkdir -p "$work/pulse"
export PULSE_SERVER="unix:$work/pulse/native" PULSE_SINK=pelorin_run
HOME="$work/pulse" XDG_RUNTIME_DIR="$work/pulse" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
  --high-priority=yes --realtime=yes --use-pid-file=no --log-target=file:"$work/pulse/log" \
  -L "module-native-protocol-unix socket=$work/pulse/native auth-anonymous=1" \
  -L "module-null-sink sink_name=pelorin_run format=s16le rate=44100 channels=2" &
pulse_pid=$!
recorder_pid=""
trap 'kill $recorder_pid 2>/dev/null; kill $pulse_pid 2>/dev/null; cleanup' EXIT
for _ in $(seq 100); do
  pactl info >/dev/null 2>&1 && break
  sleep 0.05
done
pactl info >/dev/null 2>&1 || fail "PulseAudio did not start"
pactl set-sink-volume pelorin_run 100%
unset SDL_AUDIODRIVER

tones="$work/tones.txt"
: >"$tones"
"$top/build/bench/pelorin_bench" --record-tones-beside pelorin_run.monitor "$tones" --relative \
  >"$work/recorded.txt" &
recorder_pid=$!
sleep 1

start_program "$top/build/pelorin"
register_and_start_blocks
wait_screen "the bars of the tone block" bars_shown
end=$((SECONDS + seconds))
while [ $SECONDS -lt $end ]; do
  sleep "0.$((300 + RANDOM % 500))"
  xdotool key x
done
kill "$program_pid" 2>/dev/null || true
program_pid=""
sleep 0.5

# The tone rows, onsets in microseconds on the program's clock from its subject's record.
events=$(ls "$work"/Res_Data/sub-*/beh/*_events.tsv | head -n1)
awk -F'\t' 'NR == 1 { for (i = 1; i <= NF; i++) column[$i] = i; next }
  $column["trial_type"] == "tone" {
    split($column["onset"], part, ".")
    hz = $column["stimulus"]; sub(/Hz$/, "", hz)
    # Exact where the file says its onset was read back from the output.
    printf "changed-parts-system-sound %d%06d %d %s.wav\n", part[1], part[2], $column["onset_source"] == "audio_clock", hz
  }' "$events" >"$tones"
kill -TERM "$recorder_pid" && wait "$recorder_pid" || true
recorder_pid=""
echo "the program said: $(cat "$work/stdout.txt")"
cat "$work/recorded.txt"
passed=1
