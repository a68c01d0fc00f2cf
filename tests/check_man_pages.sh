#!/bin/sh
# SPDX-License-Identifier: MIT
# Renders each manual page given with man and groff's warnings on; any
# warning fails the test. Skipped (status 77) where man is not installed.
command -v man >/dev/null 2>&1 || { echo "skipped: man is not installed (Debian's man-db)"; exit 77; }
status=0
for page in "$@"; do
  warnings=$(MANWIDTH=80 man --warnings=all -l "$page" 2>&1 >/dev/null)
  if [ -n "$warnings" ]; then
    echo "$page:"
    echo "$warnings"
    status=1
  fi
done
exit $status
