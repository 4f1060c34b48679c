#!/usr/bin/env bash
# The system calls of a run's results: the events file made without overwriting, every row in one
# write of its own, whole, and the file flushed at registration, at the block's end and at the quit,
# never between the block's start and its end; its sidecar made the same way, written in one write and
# flushed once, with the events file, inside the blank after registration.
#   results_durable.sh RESULTS_DRIVER
set -euo pipefail
driver=$1
source "$(dirname "$0")/strace_lib.sh"
events="$work/Res_Data/sub-1/beh/sub-1_task-dualtask_events.tsv"
sidecar="${events%.tsv}.json"

strace -f -qq -y -s 200 -e trace=openat,write,fsync,fdatasync -o "$work/trace" "$driver" "$work" >/dev/null
pick_calls "_events\.(tsv|json)|write\(1"

grep -q "^openat(AT_FDCWD[^,]*, \"$events\", O_WRONLY|O_CREAT|O_EXCL|O_NOCTTY|O_APPEND|O_CLOEXEC, 0644) = [0-9]" \
  "$work/calls" || fail "the events file was not made with O_EXCL"
# One write per row: as many writes as the file has lines, each one whole line.
writes=$(grep -c "^write([0-9]*<$events>" "$work/calls")
[ "$writes" = "$(wc -l <"$events")" ] || fail "$writes writes for $(wc -l <"$events") lines"
grep "^write([0-9]*<$events>" "$work/calls" | grep -v -E '^write\([0-9]+<[^>]*>, "[^"]*\\n", [0-9]+\) = [0-9]+$' &&
  fail "a write that is not one whole line"
[ "$writes" -gt 100 ] || fail "only $writes rows"

# Flushed after the header, after the block's ending, and after the quit: never inside the block.
start=$(line_of "^write\(1<[^>]*>, \"top ToneTask")
ending=$(line_of "^write\([0-9]+<$events>, \"[0-9.]+\\\\tn/a\\\\ttime_up\\\\t")
quit=$(line_of "^write\([0-9]+<$events>, \"[0-9.]+\\\\tn/a\\\\tquit\\\\t")
syncs=$(grep -n -E "^f(data)?sync\([0-9]+<$events>\) = 0" "$work/calls" | cut -d: -f1)
[ "$(echo "$syncs" | wc -l)" = 3 ] || fail "not three flushes: $syncs"
set -- $syncs
[ "$1" -lt "$start" ] || fail "no flush at registration"
[ "$2" -gt "$ending" ] && [ "$2" -lt "$quit" ] || fail "the block's flush is not after its ending"
[ "$3" -gt "$quit" ] || fail "no flush at the quit"

# Registration's flushes, the sidecar's and the events file's, inside the blank that follows it.
blank=$(line_of "^write\(1<[^>]*>, \"top Blanke")
instruction=$(line_of "^write\(1<[^>]*>, \"top Instruction")
[ "$blank" -lt "$1" ] && [ "$1" -lt "$instruction" ] || fail "the events file's first flush is not inside the blank"
grep -q "^openat(AT_FDCWD[^,]*, \"$sidecar\", O_WRONLY|O_CREAT|O_EXCL|O_NOCTTY|O_APPEND|O_CLOEXEC, 0644) = [0-9]" \
  "$work/calls" || fail "the sidecar was not made with O_EXCL"
[ "$(grep -c "^write([0-9]*<$sidecar>" "$work/calls")" = 1 ] || fail "the sidecar is not one write"
written=$(line_of "^write\([0-9]+<$sidecar>, \"\{")
sidecar_syncs=$(grep -n -E "^f(data)?sync\([0-9]+<$sidecar>\) = 0" "$work/calls" | cut -d: -f1 || true)
[ "$(echo "$sidecar_syncs" | grep -c .)" = 1 ] || fail "the sidecar is not flushed once: $sidecar_syncs"
[ "$written" -lt "$sidecar_syncs" ] && [ "$blank" -lt "$sidecar_syncs" ] && [ "$sidecar_syncs" -lt "$instruction" ] ||
  fail "the sidecar's flush is not inside the blank after registration"
echo "results: made with O_EXCL, $writes rows in one write each, flushed at registration, block end and quit;"
echo "the sidecar and the events file flushed inside the blank after registration"
