#!/usr/bin/env bash
# pelorin.exe --check --loopback under Wine: the tones go out through WASAPI to a PulseAudio server of
# the test's own (Wine's winepulse), and are recorded back through WASAPI capture from the null sink's
# monitor, which stands in for the cable. Every tone is found in the recording. Wine's figures, not
# Windows': its WASAPI position misses the server's output by milliseconds, so no bound is put on the
# spread here.
#   loopback.sh WINE_RUN PELORIN_EXE MAKE_WAVES_EXE DEMO_DIR PULSE_SERVER_SH
source "$(dirname "$0")/lib.sh"
pulse_server=$5
start_display
prepare_wine_demo_data
start_pulse_server "$pulse_server"
pactl set-default-source pelorin_test.monitor || fail "cannot make the monitor the default input"
end_wine
(cd "$work" && exec "$wine_run" "$pelorin_exe" --check --loopback >"$work/stdout.txt" 2>"$work/stderr.txt") &
program_pid=$!
TIMEOUT=60 wait_screen "the first screen drawn" drawn
TIMEOUT=180
wait_exit
[ "$exit_code" = 0 ] || fail "the check ended with $exit_code: $(cat "$work/stderr.txt")"
report=$(ls -t "$work"/timing-check-*.txt | head -1)
section=$(sed -n '/^Sound by cable/,/^$/p' "$report" | tr -d '\r')
echo "$section"
grep -q "^  input *wasapi: " <<<"$section" || fail "not recorded through WASAPI: $section"
grep -q "^  tones found in the recording *20 of 20 played$" <<<"$section" || fail "not every tone found: $section"
grep -Eq "^  recorded onset - results file's +lag -?[0-9.]+  SD [0-9.]+ ms" <<<"$section" || fail "no lag and SD: $section"
passed=1
