#!/usr/bin/env bash
# CITATION.cff, which a lab cites Pelorin by, names the version the build is and the fields a citation
# needs.
#   citation.sh CITATION_CFF VERSION
set -uo pipefail
file=$1
version=$2
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
[ -f "$file" ] || { echo "FAIL: no $file" >&2; exit 1; }
# The top-level key's value, without quotes.
value() { sed -n "s/^$1: *//p" "$file" | head -1 | sed 's/^"\(.*\)"$/\1/; s/^'"'"'\(.*\)'"'"'$/\1/'; }
[ "$(value version)" = "$version" ] || fail "CITATION.cff's version is '$(value version)', the build's $version"
[ "$(value cff-version)" = 1.2.0 ] || fail "cff-version is '$(value cff-version)', not 1.2.0"
[ "$(value title)" = Pelorin ] || fail "the title is '$(value title)'"
for key in message authors date-released abstract; do
  grep -q "^$key:" "$file" || fail "no $key"
done
value date-released | grep -Eqx '[0-9]{4}-[0-9]{2}-[0-9]{2}' || fail "date-released is no date: '$(value date-released)'"
[ "$failures" = 0 ]
