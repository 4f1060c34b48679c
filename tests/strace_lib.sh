# Shared by the tests that read a test driver's system calls through strace: skips where strace cannot run,
# a fresh folder removed afterwards, and the calls picked out of the trace into $work/calls. Source it.
# On CI (root, tracing allowed) a check that cannot run fails instead.
skip() {
  if [ "${CI:-}" = true ]; then echo "FAIL: not run on CI: $*" >&2; exit 1; fi
  echo "SKIP: $*"; exit 77
}
command -v strace >/dev/null || skip "strace is not installed"
strace -o /dev/null true 2>/dev/null || skip "tracing is not permitted here"

work=$(mktemp -d "${TMPDIR:-/tmp}/pelorin-strace-XXXXXX")
trap 'rm -rf "$work"' EXIT
touch "$work/calls"

fail() { echo "FAIL: $*" >&2; echo "--- calls:" >&2; cat "$work/calls" >&2; exit 1; }

# The line number in $work/calls of the first call matching the pattern, or fail.
line_of() {
  local found
  found=$(grep -n -E "$1" "$work/calls" | head -n1 | cut -d: -f1)
  [ -n "$found" ] || fail "no call matching: $1"
  echo "$found"
}

# The calls in $work/trace that match the pattern, without their process numbers, into $work/calls.
pick_calls() {
  grep -E "$1" "$work/trace" | sed -E 's/^[0-9]+ +//; s/^\[pid +[0-9]+\] //' >"$work/calls" || true
}
