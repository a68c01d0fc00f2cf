#!/bin/sh
# SPDX-License-Identifier: MIT
# The Windows programs, run under wine, make the same talk table and the same
# model file from the same inputs as the Linux programs, byte for byte.
# Arguments: the Linux build folder and the source folder. Skipped (77)
# unless KIT_TEST_EXE_DIR names the Windows build.
[ -n "${KIT_TEST_EXE_DIR:-}" ] || { echo "skipped: it runs with ctest --preset wine, against the Windows build"; exit 77; }
linux=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
set -e
export WINEDEBUG=-all

"$linux/examples/tlkmake" "$source/examples/dialog.txt" "$work/linux.tlk"
wine "$KIT_TEST_EXE_DIR/examples/tlkmake.exe" "$source/examples/dialog.txt" "$work/windows.tlk"
cmp "$work/linux.tlk" "$work/windows.tlk"

cp "$work/linux.tlk" "$work/swapped-linux.tlk"
cp "$work/linux.tlk" "$work/swapped-windows.tlk"
"$linux/lexswap/lexswap" "$work/swapped-linux.tlk" "$source/examples/rules.txt" >/dev/null
wine "$KIT_TEST_EXE_DIR/lexswap/lexswap.exe" "$work/swapped-windows.tlk" "$source/examples/rules.txt" >/dev/null
cmp "$work/swapped-linux.tlk" "$work/swapped-windows.tlk"

"$linux/lexglean/lexglean" "$work/linux.tlk" > "$work/words.txt"
"$linux/wordloom/wordloom" -r "$work/words.txt" -s "$work/linux.model" -c 0
wine "$KIT_TEST_EXE_DIR/wordloom/wordloom.exe" -r "$work/words.txt" -s "$work/windows.model" -c 0
cmp "$work/linux.model" "$work/windows.model"
echo "same bytes on both systems"
