#!/bin/bash
# The bash completion offers options not yet on the line, file names after
# --input and --output (also joined by "="), and nothing after the
# free-text options.
# Usage: completion_test.sh COMPLETION_SCRIPT
set -eu
source "$1"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
touch list.txt links.txt other.ini ./-

complete_line() {  # prints the candidates for the words given, one a line
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _quillmark
  printf '%s\n' "${COMPREPLY[@]}" | sort
}

check() {  # expected, then the words
  local expected=$1
  shift
  local got
  got=$(complete_line "$@")
  if [ "$got" != "$expected" ]; then
    printf 'completing "%s": expected [%s], got [%s]\n' "$*" "$expected" "$got"
    exit 1
  fi
}

check '--salt' quillmark --pp 7 --s
check '--pp' quillmark --p
check $'--tenant_id' quillmark --t
check $'links.txt\nlist.txt' quillmark --input li
check $'links.txt\nlist.txt' quillmark -i li
check $'other.ini' quillmark --output o
check $'other.ini' quillmark -o o
check '' quillmark --tenant_id li
check '' quillmark --salt li
check '' quillmark --pp li
check '' quillmark -i x --i
check $'--pp\n--salt\n--version' quillmark --input x -o x -h --tenant_id y -
check $'links.txt\nlist.txt' quillmark --input = li
check $'./-\nlinks.txt\nlist.txt\nother.ini' quillmark --output =
echo "completion offers options, file names and nothing where it should"
