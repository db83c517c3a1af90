#!/usr/bin/env bash
# Lints manual pages: mandoc -T lint when mandoc is installed, else
# groff -ww. Any message at warning level or above fails the run.
set -u
[ $# -gt 0 ] || { echo "usage: $0 PAGE..." >&2; exit 2; }
status=0
for page in "$@"; do
  if command -v mandoc >/dev/null; then
    messages=$(mandoc -T lint -W warning "$page" 2>&1)
  else
    messages=$(groff -ww -z -man -Tutf8 "$page" 2>&1)
  fi
  if [ -n "$messages" ]; then
    echo "$messages"
    status=1
  fi
done
[ $status -eq 0 ] && echo "$# manual pages lint clean"
exit $status
