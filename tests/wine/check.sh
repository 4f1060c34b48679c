#!/usr/bin/env bash
# pelorin.exe --check under Wine: every section with figures, keys injected with SendInput, the power
# plan read, the report printed and written as timing-check-<date>-<time>.txt, and the warning of the
# silent run where no sound device opens. The folder then holds nothing else new but pelorin.log,
# where the Windows build says it runs silent.
#   check.sh WINE_RUN PELORIN_EXE MAKE_WAVES_EXE DEMO_DIR
source "$(dirname "$0")/lib.sh"

start_display
prepare_wine_demo_data
folder_files() { (cd "$work" && find . | grep -Ev '^\./(stdout\.txt|stderr\.txt|[a-z]+\.png)$' | sort); }
before=$(folder_files)
end_wine
# No sound device: the tests' SDL_AUDIODRIVER names one that does not exist.
(cd "$work" && SDL_AUDIODRIVER=no-such-driver exec "$wine_run" "$pelorin_exe" --check >"$work/stdout.txt" 2>"$work/stderr.txt") &
program_pid=$!
TIMEOUT=60 wait_screen "the first screen drawn" drawn
TIMEOUT=120
wait_exit
[ "$exit_code" = 0 ] || fail "the check ended with $exit_code: $(cat "$work/stderr.txt")"

added=$(comm -13 <(echo "$before") <(folder_files) | grep -vx './pelorin.log' || true)
echo "$added" | grep -Eqx '\./timing-check-[0-9]{4}-[0-9]{2}-[0-9]{2}-[0-9]{6}\.txt' && [ "$(echo "$added" | wc -l)" = 1 ] ||
  fail "the check wrote other files than its report and the log: $added"
report=$work/${added#./}
tr -d '\r' <"$work/stdout.txt" >"$work/printed.txt"
grep -qF "Written to $(windows_path "$report")" "$work/printed.txt" || fail "stdout does not name the report: $(cat "$work/printed.txt")"
grep -Fxq "Verdict: $(sed -n 's/^Verdict: //p' "$report")" "$work/printed.txt" || fail "the report was not printed"

DISTRIBUTION='p50 -?[0-9.]+  p99 -?[0-9.]+  max -?[0-9.]+ ms  \(n [0-9]+\)'
expect_line() {
  grep -Eq "^  $1 +$2" "$report" || fail "no line '$1' matching '$2' in: $(cat "$report")"
}
grep -Eq "^Pelorin [0-9.]+ \(commit ([0-9a-f]{40}|unknown)\) on Windows [0-9]+\.[0-9]+ build [0-9]+ under Wine [0-9]" "$report" ||
  fail "the build and the system are not named: $(cat "$report")"
grep -Eqx "PC: .+" "$report" || fail "the PC is not named: $(cat "$report")"
expect_line "size" "$WIDTH x $HEIGHT pixels"
expect_line "system scaling" "[0-9]+ % \((monitor|system) DPI [0-9]+\)"
expect_line "present of a growing bar" "$DISTRIBUTION"
# Wine answers no refresh's time: the onset is the present call's, and the report says so.
expect_line "a frame's onset taken at" "the present call's return: no refresh's stamp here"
expect_line "Wait\(25\) overshoot" "$DISTRIBUTION"
expect_line "growth-tick lateness, 10 s block" "$DISTRIBUTION"
expect_line "process CPU over the block" "[0-9.]+ % of a core"
expect_line "device" "none: the run would be silent"
expect_line "keys injected through" "SendInput"
expect_line "injection to handler" "$DISTRIBUTION\$"
# The mega-study's only Windows 10 row is the sound's; none is made up for the keys.
expect_line "key to its stamp" "lag -?[0-9.]+  SD [0-9.]+ ms \(n [0-9]+\); Bridges et al. 2020: no Windows 10 row at hand\$"
expect_line "during a tone: injection to its time" "$DISTRIBUTION\$"
expect_line "flush the file to the disk" "$DISTRIBUTION"
expect_line "power plan" ".+"
expect_line "power source" "(mains|battery)"
grep -q "^WARNING: no sound device: a run would be silent" "$report" || fail "no warning of the silent run: $(cat "$report")"
grep -q "no audio device" "$work/pelorin.log" || fail "the log does not say the run is silent"
passed=1
