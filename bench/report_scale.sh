#!/usr/bin/env bash
# How the readers grow with a run: one subject's events file of BLOCKS tone blocks (50 000 unless
# given; six rows a block: its start, two tones each answered, the time-up) in a dataset of its own,
# read by build/pelorin-summary and made into a page by build/pelorin-report. Prints each tool's wall
# time and peak memory (GNU time), against the report's targets. Run from the repository's top folder
# after a build.
#   bench/report_scale.sh [BLOCKS]
set -euo pipefail
blocks=${1:-50000}
work=$(mktemp -d "${TMPDIR:-/tmp}/pelorin-report-scale-XXXXXX")
trap '[ -n "${REPORT_SCALE_KEEP:-}" ] || rm -rf "$work"' EXIT
mkdir -p "$work/Res_Data/sub-1/beh"
python3 - "$blocks" "$work/Res_Data/sub-1/beh/sub-1_task-dualtask_events.tsv" <<'PY'
import sys
blocks, path = int(sys.argv[1]), sys.argv[2]
na = "n/a"
with open(path, "w", newline="\n") as out:
    out.write("onset\tduration\ttrial_type\tblock\ttask\tstimulus\tkey\tchannel\tcorrect\tresponse_time\t"
              "tone_bar\tletter_bar\tquit_answer\tonset_source\n")
    for block in range(1, blocks + 1):
        t = block * 61.0
        def row(onset, duration, kind, stimulus=na, key=na, channel=na, correct=na, rt=na, source=na):
            out.write(f"{onset:.6f}\t{duration}\t{kind}\t{block}\ttone\t{stimulus}\t{key}\t{channel}\t{correct}\t"
                      f"{rt}\t0.333\t0.333\t{na}\t{source}\n")
        row(t, na, "block_start")
        row(t + 1, "0.100000", "tone", "500Hz", source="audio_clock")
        rt = 0.3 + (block % 7) * 0.05
        row(t + 1 + rt, na, "response", "500Hz", "s", "tone", "1", f"{rt:.6f}")
        row(t + 3, "0.100000", "tone", "200Hz", source="audio_clock")
        row(t + 3.4, na, "response", "200Hz", "s", "tone", "0", "0.400000")
        row(t + 60, na, "time_up")
PY
printf 'participant_id\torder_condition\nsub-1\t1\n' >"$work/Res_Data/participants.tsv"
size=$(du -m "$work/Res_Data/sub-1/beh/sub-1_task-dualtask_events.tsv" | cut -f1)
echo "one events file of $blocks blocks ($((blocks * 6)) rows, $size MB)"
# Wall time, and the processor's time (user and system), which a busy machine inflates less.
printf '%-16s %9s %9s %9s   %s\n' tool seconds "cpu s" "peak MB" target
measure() {
  local name=$1 target=$2
  shift 2
  /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" >/dev/null 2>"$work/stderr" || {
    echo "$name failed: $(cat "$work/stderr")"
    exit 1
  }
  read -r seconds user system kilobytes <"$work/time"
  printf '%-16s %9.2f %9.2f %9d   %s\n' "$name" "$seconds" "$(awk "BEGIN { print $user + $system }")" $((kilobytes / 1024)) "$target"
}
measure pelorin-summary - build/pelorin-summary "$work/Res_Data"
measure pelorin-report "<= 2 s, <= 300 MB" build/pelorin-report "$work/Res_Data" -o "$work/index.html"
echo "page: $(du -k "$work/index.html" | cut -f1) kB"
if [ -n "${REPORT_SCALE_KEEP:-}" ]; then cp "$work/index.html" "$REPORT_SCALE_KEEP"; fi
