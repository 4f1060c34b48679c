#!/usr/bin/env bash
# A PulseAudio server of the tests' own, with a null sink: a sink that plays in real time into nothing
# and whose monitor gives back exactly what it played.
#   pulse_server.sh start DIR | stop DIR | run DIR PROGRAM...
# `run` runs the program against the server (PULSE_SERVER, PELORIN_TEST_MONITOR, and its process
# PELORIN_TEST_PULSE_PID, for tests that stall it). Where the server
# did not start it skips (exit 77) and says why; on CI (CI=true) that fails instead.
set -uo pipefail
action=$1
dir=$2
shift 2
case "$action" in
  start)
    mkdir -p "$dir"
    rm -f "$dir/native" "$dir/pid"
    command -v pulseaudio >/dev/null || exit 0
    HOME="$dir" XDG_RUNTIME_DIR="$dir" PULSE_RUNTIME_PATH="$dir" setsid pulseaudio -n --daemonize=no \
      --exit-idle-time=-1 --high-priority=yes --realtime=yes --use-pid-file=no --log-target=file:"$dir/log" \
      -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
      -L "module-null-sink sink_name=pelorin_test format=s16le rate=44100 channels=2" \
      </dev/null >/dev/null 2>&1 &
    echo $! >"$dir/pid"
    for _ in $(seq 100); do
      PULSE_SERVER="unix:$dir/native" pactl info >/dev/null 2>&1 && exit 0
      sleep 0.05
    done
    echo "PulseAudio did not start; its tests are skipped" >&2
    exit 0
    ;;
  stop)
    [ -s "$dir/pid" ] && kill "$(cat "$dir/pid")" 2>/dev/null
    rm -f "$dir/pid"
    exit 0
    ;;
  run)
    if PULSE_SERVER="unix:$dir/native" pactl info >/dev/null 2>&1; then
      PULSE_SERVER="unix:$dir/native" PULSE_SINK=pelorin_test PELORIN_TEST_MONITOR=pelorin_test.monitor \
        PELORIN_TEST_PULSE_PID=$(cat "$dir/pid" 2>/dev/null) exec "$@"
    fi
    if [ "${CI:-}" = true ]; then echo "FAIL: not run on CI: no PulseAudio server started" >&2; exit 1; fi
    echo "SKIP: no PulseAudio server started (is pulseaudio installed?)"
    exit 77
    ;;
esac
