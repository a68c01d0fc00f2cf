#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs the commands of a user guide, top to bottom as a reader would, in a
# fresh folder, and compares what each prints (standard output and standard
# error together) with what the guide shows under it. A command line is an
# indented prompt and the command; "..." alone stands for output that
# changes from run to run. Every command must end with status 0 (in the
# Windows guide, but for one that reports a failure with "||").
#
#   check_guide.sh GUIDE SAMPLE_TABLE PROGRAM_FOLDER...
#     The Linux guide: a prompt "$ ", a "> " line continues the command; it
#     runs in sh with a copy of the sample table as dialog.tlk, the Polish
#     lists beside the sample in examples/, and the built programs first on
#     the PATH.
#   check_guide.sh --windows GUIDE SAMPLE_TABLE RULE_LIST
#     The Windows guide: a prompt "C:\lexkit> "; each command runs in wine's
#     cmd in a folder laid out as the zip is (the programs of the Windows
#     build that KIT_TEST_EXE_DIR names, and the sample table, its rule list
#     and the Polish lists in examples), with the dictionary the guide assumes saved there as
#     dictionary.txt. Line ends are compared without their CR.
#
# Skipped (status 77) where the dictionary the guide uses is missing or is
# another edition than the one its output was taken from, or a tool the
# guide runs is missing.
set -u
windows=false
if [ "$1" = --windows ]; then
  windows=true
  shift
fi
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

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/cases" "$work/run"

if $windows; then
  rules=$1
  build=${KIT_TEST_EXE_DIR:-}
  if [ -z "$build" ] || ! command -v wine >/dev/null 2>&1; then
    echo "skipped: it runs with ctest --preset wine, against the Windows build"
    exit 77
  fi
  prompt='    C:\lexkit> '
  mkdir "$work/run/examples"
  cp "$sample" "$work/run/examples/dialog.tlk"
  sed 's/$/\r/' "$rules" > "$work/run/examples/rules.txt"
  for list in polish-rules.txt polish-words.txt; do
    sed 's/$/\r/' "$(dirname "$sample")/$list" > "$work/run/examples/$list"
  done
  cp "$dictionary" "$work/run/dictionary.txt"
  for program in lexglean lexport lexswap wordloom wordsift; do
    cp "$build/$program/$program.exe" "$work/run/" || exit 1
  done
  export WINEDEBUG=-all
  # A run that failed without a word is wine failing to start cmd, now and
  # then, and is tried again; no command of the guide fails silently.
  run_case() {
    for attempt in 1 2 3; do
      (cd "$work/run" && wine cmd /c "$(cat "$1")") > "$work/raw" 2>&1
      status=$?
      [ $status -ne 0 ] && [ ! -s "$work/raw" ] || break
    done
    tr -d '\r' < "$work/raw"
    return $status
  }
else
  if ! command -v msgmerge >/dev/null 2>&1; then
    echo "skipped: the guide needs GNU gettext's tools (Debian's gettext)"
    exit 77
  fi
  prompt='    $ '
  for folder in "$@"; do
    PATH=$(cd "$folder" && pwd):$PATH
  done
  export PATH
  cp "$sample" "$work/run/dialog.tlk"
  mkdir "$work/run/examples"
  cp "$(dirname "$sample")/polish-rules.txt" "$(dirname "$sample")/polish-words.txt" \
    "$work/run/examples/"
  run_case() { (cd "$work/run" && sh "$1") 2>&1; }
fi

# Splits the guide into one command file and one expected-output file per
# command: NNNN.cmd, NNNN.out, and NNNN.line with the command's line number.
GUIDE_PROMPT=$prompt awk -v dir="$work/cases" '
  BEGIN { prompt = ENVIRON["GUIDE_PROMPT"] }
  function finish() {
    if (n > 0) { close(dir "/" id ".cmd"); close(dir "/" id ".out") }
    in_case = 0
  }
  substr($0, 1, length(prompt)) == prompt {
    finish()
    n++
    id = sprintf("%04d", n)
    print substr($0, length(prompt) + 1) > (dir "/" id ".cmd")
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
  run_case "$command" > "$work/actual"
  status=$?
  # cmd's `echo` leaves the error level as it was, so a command that reports
  # a failure with `|| echo` ends with the status of that failure.
  if $windows && grep -q '||' "$command"; then status=0; fi
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
