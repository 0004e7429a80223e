#!/bin/sh
# Usage: expect-failure.sh PROGRAM CASE PATTERN
# Passes when PROGRAM CASE exits non-zero and its output holds PATTERN.
output=$("$1" "$2" 2>&1)
status=$?
if [ "$status" -eq 0 ]; then
  echo "the report did not fail the run:"; echo "$output"; exit 1
fi
case "$output" in
  *"$3"*) exit 0 ;;
  *) echo "failed (status $status) without the expected report \"$3\":"; echo "$output"; exit 1 ;;
esac
