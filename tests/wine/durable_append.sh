#!/usr/bin/env bash
# The Windows calls of a registration, seen through Wine's relay trace: the list opened, its lock
# taken with LockFileEx, the whole record in one WriteFile, FlushFileBuffers, the lock given back, all
# before the screen moves on; a second registration the same way after the first record.
#   durable_append.sh WINE_RUN REGISTER_DRIVER_EXE
set -euo pipefail
wine_run=$1
driver=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/pelorin-wine-append-XXXXXX")
passed=0
trap '[ "$passed" = 1 ] && rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  echo "trace and output kept in $work" >&2
  exit 1
}

# The line number, in the trace of the registering thread, of the first call after line $2 (the
# list's opening unless given) that matches a pattern.
line_of() {
  local line
  line=$(awk -v from="${2:-$opened_at}" -v pattern="$1" 'NR > from && $0 ~ pattern { print NR; exit }' "$work/calls")
  [ -n "$line" ] || fail "no call matching $1"
  echo "$line"
}

check() {
  local id=$1 initials=$2 condition=$3
  local record=" $id $initials $condition "
  local bytes
  bytes=$(printf '%08x' $((${#record} + 2)))
  # Nothing but the program's own calls into the system: Wine's relay channel.
  (cd "$work" && WINEDEBUG=trace+relay "$wine_run" "$driver" "$(echo "Z:$work" | tr / '\\')" "$id" "$initials" \
    "$condition" >"$work/out.txt" 2>"$work/relay.txt") || fail "the registration failed"
  # The thread that opened the list to write it, and the handle it got.
  local opened thread handle
  opened=$(grep -a -m1 -nE 'Call KERNEL32\.CreateFileW\([0-9a-f]+ L"[^"]*CurrentSubjects\.txt",c0000000' "$work/relay.txt")
  [ -n "$opened" ] || fail "the list was not opened for writing"
  thread=$(cut -d: -f2 <<<"$opened")
  handle=$(awk -v from="$(cut -d: -f1 <<<"$opened")" -v ret="$thread:Ret  KERNEL32.CreateFileW" \
    'NR > from && index($0, ret) == 1 { print; exit }' "$work/relay.txt" | sed -E 's/.*retval=0*([0-9a-f]+) .*/\1/')
  grep -a -E "^$thread:Call (KERNEL32|msvcrt)\." "$work/relay.txt" >"$work/calls"
  local h="0*$handle"
  local lock write flush unlock closed moved handover
  opened_at=$(line_of 'KERNEL32\.CreateFileW\([0-9a-f]+ L"[^"]*CurrentSubjects\.txt",c0000000' 0)
  # Handles are numbers used again once closed: what the list got is followed up to its closing.
  closed=$(line_of "KERNEL32\.CloseHandle\($h\)")
  lock=$(line_of "KERNEL32\.LockFileEx\($h,00000002,")
  write=$(line_of "KERNEL32\.WriteFile\($h,[0-9a-f]+,$bytes,")
  [ "$(sed -n "${opened_at},${closed}p" "$work/calls" | grep -cE "KERNEL32\.WriteFile\($h,")" = 1 ] ||
    fail "not one WriteFile to the list"
  flush=$(line_of "KERNEL32\.FlushFileBuffers\($h\)")
  unlock=$(line_of "KERNEL32\.UnlockFileEx\($h,")
  # Each line the driver prints is one write to standard output: the hand-over is the one of "top Blanke".
  handover=$(grep -m1 -n "^top Blanke" "$work/out.txt" | cut -d: -f1)
  [ -n "$handover" ] || fail "the screen did not move on: $(cat "$work/out.txt")"
  moved=$(grep -nE 'msvcrt\._write\(0*1,' "$work/calls" | sed -n "${handover}p" | cut -d: -f1)
  [ -n "$moved" ] || fail "the hand-over's write is not in the trace"
  [ "$lock" -lt "$write" ] && [ "$write" -lt "$flush" ] && [ "$flush" -lt "$unlock" ] && [ "$unlock" -lt "$closed" ] &&
    [ "$closed" -lt "$moved" ] || fail "not lock, write, flush, unlock, close, then the hand-over"
  sed -n "${opened_at},${closed}p" "$work/calls" | grep -qE "SetFileInformationByHandle\($h," &&
    fail "a successful registration cut the list back"
  return 0
}

check 12 kvt 1
check 13 ab 2
[ "$(cat "$work/CurrentSubjects.txt")" = "$(printf ' 12 kvt 1 \r\n 13 ab 2 \r')" ] || fail "the list is not the two records"
echo "durable append under Wine: LockFileEx, one whole WriteFile, FlushFileBuffers, unlock, then the hand-over"
passed=1
