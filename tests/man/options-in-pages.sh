#!/usr/bin/env bash
# Every option and command that a program's --help lists appears in its man
# page as a reader sees it (unhyphenated, one line per paragraph).
# Usage: options-in-pages.sh PROGRAM PAGE [PROGRAM PAGE]...
set -euo pipefail
status=0
while [ $# -ge 2 ]; do
  program=$1 page=$2
  shift 2
  text=$(LC_ALL=C MANWIDTH=1000 MANROFFOPT=-rHY=0 man -l "$page")
  # The first word of each name in the Options and Commands lists.
  names=$("$program" --help | awk '/^(Options|Commands):$/ { on = 1; next } /^$/ { on = 0 }
    on { sub(/^ +/, ""); split($0, field, "  "); n = split(field[1], name, ", ")
         for (i = 1; i <= n; i++) { split(name[i], word, " "); print word[1] } }')
  [ -n "$names" ] || { echo "$program --help lists no option"; status=1; }
  for name in $names; do
    grep -qwF -- "$name" <<< "$text" || { echo "${page##*/} does not name $name"; status=1; }
  done
done
exit "$status"
