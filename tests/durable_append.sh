#!/usr/bin/env bash
# The system calls of a registration: under the lock, one write of the whole record, the file flushed,
# and for the list's first record its folder flushed too, all before the screen moves on; the same for
# the subject's row in the results dataset's participants.tsv.
#   durable_append.sh REGISTER_DRIVER
set -euo pipefail
driver=$1
source "$(dirname "$0")/strace_lib.sh"
list="$work/CurrentSubjects.txt"
participants="$work/Res_Data/participants.tsv"

# Runs the driver under strace; the calls on the list, its folder and standard output, in order.
traced() {
  strace -f -qq -y -s 80 -e trace=openat,write,fsync,fdatasync,flock,ftruncate -o "$work/trace" \
    "$driver" "$work" "$@" >/dev/null
  pick_calls "CurrentSubjects|participants\.tsv|<$work>|<$work/Res_Data>|write\(1"
}

check() {
  local record=$1 first=$2
  local lock write sync folder moved
  lock=$(line_of "^flock\([0-9]+<$list>, LOCK_EX\) = 0")
  write=$(line_of "^write\([0-9]+<$list>, \"$record\\\\r\\\\n\", $((${#record} + 2))\) = $((${#record} + 2))$")
  [ "$(grep -c "^write([0-9]*<$list>" "$work/calls")" = 1 ] || fail "not one write to the list"
  sync=$(line_of "^f(data)?sync\([0-9]+<$list>\) = 0")
  moved=$(line_of "^write\(1<[^>]*>, \"top Blanke")
  [ "$lock" -lt "$write" ] && [ "$write" -lt "$sync" ] && [ "$sync" -lt "$moved" ] ||
    fail "not lock, write, flush, then the hand-over"
  if [ "$first" = yes ]; then
    folder=$(line_of "^fsync\([0-9]+<$work>\) = 0")
    [ "$sync" -lt "$folder" ] && [ "$folder" -lt "$moved" ] || fail "the folder was not flushed before the hand-over"
  fi
  grep -q "^ftruncate" "$work/calls" && fail "a successful registration truncated the list"
  return 0
}

# The participant's row after the list's record, the same way: its header with the first row in one
# write, and for the first one the folder flushed.
check_participant() {
  local row=$1 first=$2
  local data="$row"
  [ "$first" = yes ] && data="participant_id\\\\torder_condition\\\\n$row"
  local listed lock write sync folder moved
  listed=$(line_of "^f(data)?sync\([0-9]+<$list>\) = 0")
  lock=$(line_of "^flock\([0-9]+<$participants>, LOCK_EX\) = 0")
  write=$(line_of "^write\([0-9]+<$participants>, \"$data\"")
  [ "$(grep -c "^write([0-9]*<$participants>" "$work/calls")" = 1 ] || fail "not one write to participants.tsv"
  sync=$(line_of "^f(data)?sync\([0-9]+<$participants>\) = 0")
  moved=$(line_of "^write\(1<[^>]*>, \"top Blanke")
  [ "$listed" -lt "$lock" ] && [ "$lock" -lt "$write" ] && [ "$write" -lt "$sync" ] && [ "$sync" -lt "$moved" ] ||
    fail "participants.tsv: not after the list, lock, write, flush, then the hand-over"
  if [ "$first" = yes ]; then
    # The folder's flush that follows the row's: the files describing the dataset had theirs before.
    folder=$(grep -n -E "^fsync\([0-9]+<$work/Res_Data>\) = 0" "$work/calls" | cut -d: -f1 |
      awk -v after="$sync" '$1 > after { print; exit }')
    [ -n "$folder" ] && [ "$folder" -lt "$moved" ] || fail "Res_Data was not flushed before the hand-over"
  fi
  return 0
}

traced 12 kvt 1
check " 12 kvt 1 " yes
check_participant "sub-12\\\\t1\\\\n" yes
traced 13 ab 2
check " 13 ab 2 " no
check_participant "sub-13\\\\t2\\\\n" no
[ "$(cat "$list")" = "$(printf ' 12 kvt 1 \r\n 13 ab 2 \r')" ] || fail "the list is not the two records"
[ "$(cat "$participants")" = "$(printf 'participant_id\torder_condition\nsub-12\t1\nsub-13\t2')" ] ||
  fail "participants.tsv is not the two rows: $(cat "$participants")"
echo "durable append: lock, one whole write, flush, folder flush, then the hand-over; participants.tsv too"
