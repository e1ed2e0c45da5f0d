#!/bin/sh
# Renders each manual page with every groff warning on; any warning fails.
# Usage: check_man_pages.sh VERSION PAGE...
set -u
export LC_ALL=C
version=$1
shift
command -v groff >/dev/null || { echo "groff is missing (Debian package groff-base)"; exit 1; }
status=0
for page in "$@"; do
  warnings=$(groff -man -ww -z "$page" 2>&1)
  if [ -n "$warnings" ]; then
    printf '%s\n' "$warnings"
    status=1
  fi
  if ! head -n 1 "$page" | grep -q "\"ruvo $version\""; then
    echo "$page: the title line does not name ruvo $version"
    status=1
  fi
done
exit $status
