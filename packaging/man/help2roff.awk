# Turns a program's help text into manual-page markup (roff). The help texts of these programs
# share one shape:
#   Usage: NAME ARGUMENTS            (continued by indented lines)
#   description paragraphs           (an indented "TERM  text" line is an entry of a list)
#
#   Heading:                         (after a blank line)
#     TERM        text               (text after two or more spaces, continued by deeper lines)
#
# What it prints depends on `part`:
#   usage     the usage line as a synopsis
#   commands  the first word of each entry under "Commands:", one a line
#   terms     the terms of the entries under "Options:", one a line
#   body      the description and every section (.SH at level 1); at level 2 (the help of one
#             command) the entries go straight below the command's own heading, without the
#             section headings, and the entries whose term the file `skip` lists are left out
#   topic     a help topic (PROGRAM help TOPIC, which has no usage line) as the body of a section:
#             its paragraphs filled, its indented lines (a table) in constant width as they stand
# At level 1, the section "Commands" is replaced by the file `commands` when one is given.

function esc(s) {
    gsub(/\\/, "\\e", s)
    return s
}

# hyphens of option names are minus signs, so that a copied option works
function minus(s,    out, pre) {
    out = ""
    while (match(s, /(^|[ [(|,\/"'])--?[A-Za-z0-9][-A-Za-z0-9]*/)) {
        pre = substr(s, RSTART, RLENGTH)
        gsub(/-/, "\\-", pre)
        out = out substr(s, 1, RSTART - 1) pre
        s = substr(s, RSTART + RLENGTH)
    }
    return out s
}

function line(s) {
    s = minus(esc(s))
    if (s ~ /^['.]/) s = "\\&" s
    return s
}

# options bold, the values to fill in (PORT, FILE.cfg, HOST[:PORT]) italic
function term(s,    out, tok) {
    s = esc(s)
    out = ""
    while (match(s, /--?[A-Za-z0-9][-A-Za-z0-9]*|[A-Z][A-Z0-9_]*/)) {
        tok = substr(s, RSTART, RLENGTH)
        if (tok ~ /^-/) {
            gsub(/-/, "\\-", tok)
            tok = "\\fB" tok "\\fR"
        } else if (length(tok) > 1 || substr(s, RSTART + 1, 1) !~ /[a-z]/) {
            tok = "\\fI" tok "\\fR"
        }
        out = out substr(s, 1, RSTART - 1) tok
        s = substr(s, RSTART + RLENGTH)
    }
    out = out s
    if (out ~ /^['.]/) out = "\\&" out
    return out
}

function indent(s) {
    match(s, /^ */)
    return RLENGTH
}

function heading(name,    h) {
    h = toupper(name)
    if (h == "EXIT CODES") h = "EXIT STATUS"
    return h
}

function flush_usage() {
    if (usage == "") return
    sub(/^ +/, "", usage)
    name = usage
    sub(/ .*/, "", name)
    rest = substr(usage, length(name) + 2)
    print ".B " name
    if (rest != "") print term(rest)
    usage = ""
}

# an entry: the term on the .TP line, its text below
function entry(s,    t, d) {
    sub(/^ +/, "", s)
    if (match(s, /  +/)) {
        t = substr(s, 1, RSTART - 1)
        d = substr(s, RSTART + RLENGTH)
    } else {
        t = s
        d = ""
    }
    dropping = (t in skipped)
    if (dropping) return
    if (part == "terms") {
        if (section == "Options") print t
        return
    }
    if (section == "Commands") {
        n = t
        sub(/ .*/, "", n)
        if (part == "commands") print n
        return
    }
    if (part != "body") return
    print ".TP"
    print term(t)
    if (d != "") print line(d)
}

part == "topic" {
    if ($0 ~ /^ *$/) {
        if (table) print ".EE"
        table = 0
        blank = 1
        next
    }
    if (indent($0) > 0) {
        if (!table) print ".PP\n.EX"
        table = 1
    } else if (blank || NR == 1) {
        print ".PP"
    }
    blank = 0
    print line($0)
    next
}

BEGIN {
    level = level ? level : 1
    if (skip != "")
        while ((getline s < skip) > 0) skipped[s] = 1
    state = "usage"
    section = ""
    blank = 0
}

state == "usage" {
    if (NR == 1) {
        sub(/^Usage: +/, "")
        usage = $0
        next
    }
    if (indent($0) > 0 && $0 !~ /^ *$/) {
        usage = usage " " substr($0, indent($0) + 1)
        next
    }
    if (part == "usage") flush_usage()
    state = "text"
    if (part == "body" && level == 1) print ".SH DESCRIPTION"
}

/^ *$/ {
    blank = 1
    next
}

# a section heading
blank && /^[A-Z][A-Za-z ]*:$/ {
    section = substr($0, 1, length($0) - 1)
    blank = 0
    listing = 0
    if (part != "body") next
    if (level == 1) {
        if (section == "Commands" && commands != "") {
            print ".SH COMMANDS"
            while ((getline s < commands) > 0) print s
            replaced = 1
        } else {
            replaced = 0
            print ".SH " heading(section)
        }
    }
    next
}

# the help of one command points to the program's exit codes, which the page lists already
level == 2 && /^Exit codes: see / { next }

{
    deep = indent($0)
    if (deep > 0 && deep <= 3) {
        blank = 0
        listing = 1
        if (!(section == "Commands" && replaced) || part == "commands") entry($0)
        next
    }
    if (deep > 3 && listing) {
        blank = 0
        if (part == "body" && !dropping && section != "Commands") print line(substr($0, deep + 1))
        next
    }
    if (part != "body") next
    if (blank || listing) print ".PP"
    blank = 0
    listing = 0
    print line($0)
}

END {
    if (part == "usage") flush_usage()
    if (part == "topic" && table) print ".EE"
}
