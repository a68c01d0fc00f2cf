#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs the commands of the user guide, top to bottom as a reader would, in a
# fresh folder holding a copy of the sample table, with the built programs
# first on the PATH, and compares what each prints (standard output and
# standard error together) with what the guide shows under it. In the guide
# a command line is an indented "$ ", a "> " line continues it, and "..."
# alone stands for output that changes from run to run. Every command must
# end with status 0.
#
#   check_guide.sh GUIDE SAMPLE_TABLE PROGRAM_FOLDER...
#
# Skipped (status 77) where the dictionary the guide uses is missing or is
# another edition than the one its output was taken from.
set -u
guide=$1
sample=$2
shift 2

dictionary=/usr/share/dict/american-english
if [ ! -r "$dictionary" ]; then
  echo "skipped: the guide needs $dictionary (Debian's wamerican)"
  exit 77
fi
if [ "$(wc -l < "$dictionary")" -ne 104334 ]; then
  echo "skipped: $dictionary is not the 104,334-word edition the guide shows"
  exit 77
fi

if ! command -v msgmerge >/dev/null 2>&1; then
  echo "skipped: the guide needs GNU gettext's tools (Debian's gettext)"
  exit 77
fi

for folder in "$@"; do
  PATH=$(cd "$folder" && pwd):$PATH
done
export PATH

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/cases" "$work/run"
cp "$sample" "$work/run/dialog.tlk"

# Splits the guide into one command file and one expected-output file per
# command: NNNN.cmd, NNNN.out, and NNNN.line with the command's line number.
awk -v dir="$work/cases" '
  function finish() {
    if (n > 0) { close(dir "/" id ".cmd"); close(dir "/" id ".out") }
    in_case = 0
  }
  /^    \$ / {
    finish()
    n++
    id = sprintf("%04d", n)
    print substr($0, 7) > (dir "/" id ".cmd")
    print NR > (dir "/" id ".line"); close(dir "/" id ".line")
    printf "" > (dir "/" id ".out")
    in_case = 1; continuing = 1
    next
  }
  in_case && continuing && /^    > / { print substr($0, 7) > (dir "/" id ".cmd"); next }
  in_case && /^    / { continuing = 0; print substr($0, 5) > (dir "/" id ".out"); next }
  { finish() }
  END { finish() }
' "$guide"

count=0
failures=0
for command in "$work"/cases/*.cmd; do
  case_name=${command%.cmd}
  line=$(cat "$case_name.line")
  count=$((count + 1))
  (cd "$work/run" && sh "$command") > "$work/actual" 2>&1
  status=$?
  if [ $status -ne 0 ]; then
    echo "$guide:$line: ended with status $status: $(head -n 1 "$command")"
    cat "$work/actual"
    failures=$((failures + 1))
  elif [ "$(cat "$case_name.out")" != "..." ] && ! cmp -s "$case_name.out" "$work/actual"; then
    echo "$guide:$line: printed other than the guide shows: $(head -n 1 "$command")"
    diff "$case_name.out" "$work/actual"
    failures=$((failures + 1))
  fi
done
if [ $count -eq 0 ]; then
  echo "$guide: no commands found"
  exit 1
fi
echo "$count commands run, $failures failed"
[ $failures -eq 0 ]
