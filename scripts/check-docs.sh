#!/usr/bin/env bash
# Checks the links of the documentation (README.md and docs/*.md): every [text](target) and
# ![picture](target), and every reference definition "[name]: target", names a file or folder that
# exists, relative to the page; a #anchor names a heading of the page it points to, as a Markdown
# page on the web anchors it (lower case, punctuation but - and _ dropped, each space a -, the
# second heading of one name -1, the third -2, ...). Links to the web (http:, https:, mailto:) are
# not followed. Code is not read for links: fenced blocks, lines indented by four spaces or more,
# and code spans. Also every page in docs/ is linked from README.md, so that a reader finds each one
# in one step. Prints each broken link with its page and line; exit 1 when there is one.
# Usage: scripts/check-docs.sh [PAGE.md ...]   (default: README.md and docs/*.md)
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C

pages=("$@")
[ ${#pages[@]} -gt 0 ] || pages=(README.md docs/*.md)

# The page's lines with its code blanked out (the line numbers stay): fenced blocks, indented
# blocks and code spans, which may run on over a line break but not over a blank line.
prose() {
  awk '
    /^ *(```|~~~)/ { fence = !fence; print ""; next }
    fence || /^    / { print ""; next }
    /^[ \t]*$/ { span = 0 }
    {
      out = ""
      for (i = 1; i <= length($0); i++) {
        c = substr($0, i, 1)
        if (c == "`") { span = !span; continue }
        if (!span) out = out c
      }
      print out
    }' "$1"
}

# The anchors of a page's headings, one a line.
anchors() {
  awk '/^ *(```|~~~)/ { fence = !fence; next } !fence && /^#+ / { print }' "$1" |
    sed -E 's/^#+ +//; s/ +#+ *$//; s/ +$//' |
    tr 'A-Z' 'a-z' |
    sed -e 's/[][!"#$%&'\''()*+,./:;<=>?@\\^`{|}~]//g' -e 's/ /-/g' |
    awk '{ n = seen[$0]++; print (n ? $0 "-" n : $0) }'
}

# Every link target of a page as "LINE TARGET".
targets() {
  prose "$1" | awk '
    {
      s = $0
      while (match(s, /\]\([^)]*\)/)) {
        t = substr(s, RSTART + 2, RLENGTH - 3)
        sub(/^ *</, "", t); sub(/>? *$/, "", t); sub(/ +".*$/, "", t)
        print NR, t
        s = substr(s, RSTART + RLENGTH)
      }
      if (match($0, /^ ? ? ?\[[^]]+\]: +[^ ]+/)) {
        t = substr($0, RSTART, RLENGTH); sub(/^[^:]*: +/, "", t)
        print NR, t
      }
    }'
}

bad=0
for page in "${pages[@]}"; do
  dir=$(dirname "$page")
  while read -r line target; do
    case "$target" in
      '' | http:* | https:* | mailto:*) continue ;;
    esac
    path=${target%%#*}
    anchor=
    [[ "$target" == *"#"* ]] && anchor=${target#*#}
    if [ -z "$path" ]; then
      file=$page
    else
      file=$dir/$path
      file=${file#./}
      if [ ! -e "$file" ]; then
        echo "$page:$line: $target: there is no $file"
        bad=1
        continue
      fi
    fi
    if [ -n "$anchor" ]; then
      if [[ "$file" != *.md ]] || [ ! -f "$file" ]; then
        echo "$page:$line: $target: $file is no Markdown page with headings"
        bad=1
      elif ! anchors "$file" | grep -qxF -- "$anchor"; then
        echo "$page:$line: $target: $file has no heading with the anchor #$anchor"
        bad=1
      fi
    fi
  done < <(targets "$page")
done

if [ $# -eq 0 ]; then
  linked=$(targets README.md | awk '{ print $2 }' | sed 's/#.*//')
  for doc in docs/*.md; do
    if ! grep -qxF -- "$doc" <<<"$linked"; then
      echo "README.md: does not link to $doc"
      bad=1
    fi
  done
fi

[ $bad -eq 0 ] && echo "docs: every link leads to a file and a heading that exist"
exit $bad
