#!/bin/sh
# SPDX-License-Identifier: MIT
# Checks the layout of the Windows zip as a Windows user meets it: one
# folder, the five programs at its top beside README.txt and LICENSE.txt,
# the manual pages and the guide as text in doc/, the sample table, its rule
# list and the guide's Polish lists in examples/, nothing else, and every
# text file with CR LF line ends (Notepad shows bare LF files as one line
# on older Windows).
#
#   check_windows_zip.sh ZIP VERSION
set -eu
zip=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
folder=lexkit-$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cmake -E tar xf "$zip")

expected="$folder
$folder/LICENSE.txt
$folder/README.txt
$folder/doc
$folder/doc/guide.txt
$folder/doc/lexglean.txt
$folder/doc/lexport.txt
$folder/doc/lexswap.txt
$folder/doc/wordloom.txt
$folder/doc/wordsift.txt
$folder/examples
$folder/examples/dialog.tlk
$folder/examples/polish-rules.txt
$folder/examples/polish-words.txt
$folder/examples/rules.txt
$folder/lexglean.exe
$folder/lexport.exe
$folder/lexswap.exe
$folder/wordloom.exe
$folder/wordsift.exe"
actual=$(cd "$work" && find . -mindepth 1 | sed 's|^\./||' | LC_ALL=C sort)
if [ "$actual" != "$expected" ]; then
  echo "$1: the zip holds other files than it should:"
  echo "$actual" | diff - /dev/fd/3 3<<EOF || true
$expected
EOF
  exit 1
fi

cr=$(printf '\r')
status=0
for text in $(cd "$work" && find . -name '*.txt' | LC_ALL=C sort); do
  file=$work/$text
  lines=$(tr -cd '\n' < "$file" | wc -c)
  crlf=$(grep -c "$cr\$" "$file" || true)
  last=$(tail -c 1 "$file" | od -An -c | tr -d ' ')
  if [ "$lines" -eq 0 ] || [ "$crlf" -ne "$lines" ] || [ "$last" != '\n' ]; then
    echo "$1: ${text#./} has lines that do not end with CR LF"
    status=1
  fi
done
exit $status
