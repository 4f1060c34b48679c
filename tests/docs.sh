#!/usr/bin/env bash
# The documents against what they describe.
#   docs.sh table PROGRAM DOC   the column tables between DOC's markers are the ones PROGRAM prints
#                               from the vocabulary: a column changed in the code changes the document
#   docs.sh links ROOT          every relative link of ROOT/README.md and ROOT/docs/*.md reaches a file
#                               that is there, and a heading of it where the link names one
set -uo pipefail

table() {
  local program=$1 doc=$2 block
  block=$(awk '$0 == "<!-- columns: end -->" { inside = 0 } inside { print } $0 == "<!-- columns: begin -->" { inside = 1 }' "$doc")
  [ -n "$block" ] || { echo "FAIL: $doc holds no block between <!-- columns: begin --> and <!-- columns: end -->" >&2; return 1; }
  if ! diff -u <(echo "$block") <("$program") >&2; then
    echo "FAIL: the column tables of $doc are not the vocabulary's (the diff above: - the document, + the program)." >&2
    echo "Write them afresh after a build: scripts/results-format $program" >&2
    return 1
  fi
}

# Each line of a Markdown file outside code blocks: "H slug" for a heading, "L target" for a link.
markdown_items() {
  awk '
    /^```/ { fenced = !fenced; next }
    fenced { next }
    /^#+ / {
      slug = tolower($0); sub(/^#+ +/, "", slug)
      gsub(/[^a-z0-9 _-]/, "", slug); gsub(/ /, "-", slug)
      print "H " slug
    }
    {
      line = $0
      while (match(line, /\]\([^) ]+\)/)) {
        print "L " substr(line, RSTART + 2, RLENGTH - 3)
        line = substr(line, RSTART + RLENGTH)
      }
    }' "$1"
}

links() {
  local root=$1 failed=0 file target path fragment resolved
  for file in "$root/README.md" "$root"/docs/*.md; do
    while read -r target; do
      case "$target" in http://* | https://* | mailto:*) continue ;; esac
      path=${target%%#*}
      fragment=""
      [ "$path" != "$target" ] && fragment=${target#*#}
      if [ -z "$path" ]; then resolved=$file; else resolved=$(dirname "$file")/$path; fi
      if [ ! -e "$resolved" ]; then
        echo "FAIL: ${file#"$root"/} links to $target: no such file" >&2
        failed=1
      elif [ -n "$fragment" ] && [[ "$resolved" == *.md ]] &&
        ! markdown_items "$resolved" | grep -qxF "H $fragment"; then
        echo "FAIL: ${file#"$root"/} links to $target: no such heading in ${resolved#"$root"/}" >&2
        failed=1
      fi
    done < <(markdown_items "$file" | sed -n 's/^L //p')
  done
  return $failed
}

case "$1" in
  table) table "$2" "$3" ;;
  links) links "$2" ;;
  *) echo "usage: docs.sh table PROGRAM DOC | docs.sh links ROOT" >&2; exit 2 ;;
esac
