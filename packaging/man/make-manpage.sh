#!/bin/sh
# Writes the compressed manual page of a program from its own help text: NAME from SUMMARY,
# SYNOPSIS, DESCRIPTION and a section for each heading of the help (help2roff.awk), then the
# hand-written sections of the file EXTRA (ENVIRONMENT, FILES, SEE ALSO, ...), in which a line
# '.\" help TOPIC' stands for the text of PROGRAM help TOPIC. With "commands",
# the program's commands (the entries under "Commands:") get a section each from PROGRAM help
# COMMAND, and their synopses join the page's.
# Usage: make-manpage.sh PROGRAM VERSION DATE SUMMARY EXTRA OUT.gz [commands]
set -eu
prog=$1 version=$2 date=$3 summary=$4 extra=$5 out=$6 commands=${7:-}
awk_file="$(dirname "$0")/help2roff.awk"
name=$(basename "$prog")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
roff() { awk -f "$awk_file" "$@"; }

"$prog" --help >"$tmp/help"
: >"$tmp/commands"
{
    printf '.TH %s 1 "%s" "%s %s" "User Commands"\n' \
        "$(printf '%s' "$name" | tr '[:lower:]' '[:upper:]')" "$date" "$name" "$version"
    # ragged right and no hyphenation: an option is never broken across lines
    printf '.nh\n.ad l\n'
    echo .SH NAME
    printf '%s \\- %s\n' "$name" "$summary"
    echo .SH SYNOPSIS
    roff -v part=usage "$tmp/help"
    if [ -n "$commands" ]; then
        roff -v part=terms "$tmp/help" >"$tmp/terms"
        roff -v part=commands "$tmp/help" >"$tmp/names"
        [ -s "$tmp/names" ] || { echo "make-manpage: $name --help lists no commands" >&2; exit 1; }
        while read -r command; do
            "$prog" help "$command" >"$tmp/help-command" ||
                { echo "make-manpage: $name help $command failed" >&2; exit 1; }
            echo .br
            roff -v part=usage "$tmp/help-command"
            {
                echo ".SS $command"
                roff -v part=body -v level=2 -v skip="$tmp/terms" "$tmp/help-command"
            } >>"$tmp/commands"
        done <"$tmp/names"
    fi
    roff -v part=body -v commands="$tmp/commands" "$tmp/help"
    while IFS= read -r l; do
        case $l in
        '.\" help '*)
            topic=${l#'.\" help '}
            "$prog" help "$topic" >"$tmp/topic" ||
                { echo "make-manpage: $name help $topic failed" >&2; exit 1; }
            roff -v part=topic "$tmp/topic"
            ;;
        *) printf '%s\n' "$l" ;;
        esac
    done <"$extra"
} >"$tmp/page"
gzip -9n <"$tmp/page" >"$out.new"
mv "$out.new" "$out"
