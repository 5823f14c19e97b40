#!/bin/sh
# Writes a program's manual page from its --help text, so the page and the help never
# differ: the usage lines become the synopsis, lines indented by two spaces with a gap of
# two or more become an option and its meaning, deeper-indented lines continue them, and
# the other lines are the description. Run at build time by CMake.
# Usage: help-to-man.sh PROGRAM NAME "SUMMARY" VERSION OUTPUT.1
set -e
program=$1 name=$2 summary=$3 version=$4 output=$5
help=$("$program" --help)
# The date comes from the version, not the clock, so the same source gives the same page.
{
  printf '.TH %s 1 "" "portal-engine %s" "User Commands"\n' "$(echo "$name" | tr a-z A-Z)" "$version"
  printf '.SH NAME\n%s \\- %s\n' "$name" "$summary"
  printf '%s\n' "$help" | awk '
    function roff(text) {
      gsub(/\\/, "\\e", text)
      gsub(/-/, "\\-", text)
      if (text ~ /^[.\047]/) text = "\\&" text
      return text
    }
    BEGIN { part = "usage" }
    part == "usage" && /^usage: / { sub(/^usage: +/, ""); print ".SH SYNOPSIS\n.nf"; print roff($0); next }
    part == "usage" && /^     / { sub(/^ +/, "    "); print roff($0); next }
    part == "usage" { print ".fi\n.SH DESCRIPTION"; part = "body" }
    /^  [^ ]/ && match($0, /[^ ]  +/) {
      term = substr($0, 3, RSTART - 2); text = substr($0, RSTART + 1); sub(/^ +/, "", text)
      print ".TP\n.B " roff(term); print roff(text); plain = 0; next
    }
    /^  [^ ]/ { sub(/^ +/, ""); print ".TP\n.B " roff($0); plain = 0; next }
    /^   / { sub(/^ +/, ""); print roff($0); next }
    /^$/ { plain = 0; next }
    { if (!plain) print ".PP"; print roff($0); plain = 1; next }
  '
} > "$output.tmp"
mv "$output.tmp" "$output"
