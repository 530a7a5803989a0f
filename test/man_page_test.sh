#!/bin/sh
# The manual and the program must list the same options.
# Usage: man_page_test.sh QUILLMARK MAN_PAGE
set -eu
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Usage listing: the option column of the lines that start with an option.
"$1" --help | grep -E '^  -' | sed -E 's/ {2,}[^ -].*$//' |
  grep -o -E -- '--?[a-z_]+' | sort -u >"$tmp/usage"
# Manual: the tags of the OPTIONS section; roff writes a dash as \-.
awk '/^\.SH /{on = ($2 == "OPTIONS")} on && tag {print} {tag = ($0 == ".TP")}' \
  "$2" | sed 's/\\-/-/g' | grep -o -E -- '--?[a-z_]+' | sort -u >"$tmp/manual"

[ -s "$tmp/usage" ] || { echo "no options in the usage listing"; exit 1; }
if ! diff -u "$tmp/usage" "$tmp/manual"; then
  echo "the usage listing (-) and the manual (+) differ"
  exit 1
fi
echo "options in both: $(tr '\n' ' ' <"$tmp/usage")"
