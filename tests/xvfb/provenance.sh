#!/usr/bin/env bash
# A real-window run's sidecar says what it ran on, field by field against the build and the machine:
# the version and commit the source tree has, the system uname and os-release name, the Xvfb
# display's size, the PulseAudio server's null sink and the latency the program printed, and the newest
# timing check of this PC in the run folder (another PC's newer one passed over), and the
# instruction text as the screen showed it (saved CR LF with a Windows-1252 dash). Then both BIDS
# validators find no error in the dataset.
#   provenance.sh PELORIN MAKE_WAVES DEMO_DIR PULSE_SERVER_SH VERSION SOURCE_DIR DATASET_DRIVER VALIDATOR
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/../bids/check_dataset.sh"
pelorin=$1
pulse_server=$4
version=$5
source_dir=$6
driver=$7
validator=$8
TIMEOUT=60
start_display
prepare_demo_data "$2" "$3"
"$driver" --columns >"$work/columns.tsv"
start_pulse_server "$pulse_server"
printf 'Welcome.\r\nAnswer every tone \x96 and every letter.\r\n' >"$work/instruction.txt"

report() { printf 'Pelorin timing check, %s\nPelorin %s on Linux\nPC: %s\n\nVerdict: %s\n' "$1" "$version" "$2" "$3"; }
report "2026-12-01 09:00:00" "$(hostname)" "1 warning: put right before the first subject." \
  >"$work/timing-check-2026-12-01-090000.txt"
report "2026-12-02 09:00:00" "$(hostname)" "ready: nothing out of bounds." >"$work/timing-check-2026-12-02-090000.txt"
report "2026-12-03 09:00:00" "another-pc" "ready: nothing out of bounds." >"$work/timing-check-2026-12-03-090000.txt"

start_program "$pelorin"
register_and_start_blocks
sidecar=$work/Res_Data/sub-1/beh/sub-1_task-dualtask_events.json
wait_file "$sidecar"
quit_by_question y

commit=$(git -C "$source_dir" rev-parse --verify HEAD 2>/dev/null || echo unknown)
latency=$(sed -n 's/^pelorin: sounds start \([0-9.]*\) ms after they are asked for.*/\1/p' "$work/stdout.txt")
[ -n "$latency" ] || fail "the program did not say its sounds' latency: $(cat "$work/stdout.txt")"
# shellcheck disable=SC1091
pretty=$(. /etc/os-release && echo "$PRETTY_NAME")
/usr/bin/python3 - "$sidecar" "$version" "$commit" "$pretty" "$(uname -s) $(uname -r) $(uname -m)" "$WIDTH" "$HEIGHT" \
  "$latency" <<'PY' || fail "the sidecar does not say what the run ran on: $(cat "$sidecar")"
import json, sys
path, version, commit, pretty, kernel, width, height, latency = sys.argv[1:]
sidecar = json.load(open(path))
p = sidecar["StimulusPresentation"]
failures = []
def expect(key, got, wanted):
    if got != wanted:
        failures.append(f"{key}: {got!r}, not {wanted!r}")
expect("TaskName", sidecar.get("TaskName"), "dualtask")
expect("Instructions", sidecar.get("Instructions"), "Welcome.\nAnswer every tone \u2013 and every letter.\n")
expect("SoftwareName", p.get("SoftwareName"), "Pelorin")
expect("SoftwareVersion", p.get("SoftwareVersion"), version)
expect("SourceCommit", p.get("SourceCommit"), commit)
expect("OperatingSystem", p.get("OperatingSystem"), f"{pretty}, {kernel}" if pretty else kernel)
expect("ScreenResolution", p.get("ScreenResolution"), [int(width), int(height)])
display = p.get("Display", {})
expect("Display.Index", display.get("Index"), 0)
# Xvfb reports no refresh rate: none is made up.
if "ScreenRefreshRate" in p:
    expect("Display.RefreshRate", display.get("RefreshRate"), p["ScreenRefreshRate"])
else:
    expect("Display.RefreshRate", display.get("RefreshRate"), "n/a")
if not isinstance(p.get("KeyboardLayout"), str) or not p["KeyboardLayout"]:
    failures.append(f"KeyboardLayout: {p.get('KeyboardLayout')!r}")
audio = p.get("Audio", {})
expect("Audio.Silent", audio.get("Silent"), False)
expect("Audio.Driver", audio.get("Driver"), "pulseaudio")
expect("Audio.Device", audio.get("Device"), "pelorin_test")
expect("Audio.SampleRate", audio.get("SampleRate"), 44100)
if not isinstance(audio.get("BufferFrames"), int) or audio["BufferFrames"] <= 0:
    failures.append(f"Audio.BufferFrames: {audio.get('BufferFrames')!r}")
if abs(audio.get("FixedLatencyMs", -1) - float(latency)) > 0.006:
    failures.append(f"Audio.FixedLatencyMs: {audio.get('FixedLatencyMs')!r}, printed {latency}")
expect("TimingCheck", p.get("TimingCheck"),
       {"File": "timing-check-2026-12-02-090000.txt", "Verdict": "ready: nothing out of bounds."})
for failure in failures:
    print("FAIL:", failure, file=sys.stderr)
sys.exit(1 if failures else 0)
PY
# The reports are the run folder's, not the dataset's.
check_dataset "$work/Res_Data" "$validator" "$work/columns.tsv"
passed=1
