#!/usr/bin/env bash
# `play --start` begins at the time given: the last second of a 5-second movie plays in
# about a second, not five; a time that is no time is refused.
set -euo pipefail
tool="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$tool" make "$dir/movie.avi" --size 64x48 --frames 75 --audio none > /dev/null
begin=$(date +%s%N)
"$tool" play "$dir/movie.avi" --play --close --no-audio --start 0:04 > "$dir/out"
elapsed_ms=$(( ($(date +%s%N) - begin) / 1000000 ))
grep -q " 0: 4 /  0: 5" "$dir/out"
if [ "$elapsed_ms" -gt 3500 ]; then echo "played for $elapsed_ms ms from 0:04 of a 5 s movie"; exit 1; fi
for bad in 1:60 -3 abc 1::2; do
  if "$tool" play "$dir/movie.avi" --start "$bad" 2> /dev/null; then echo "--start $bad was accepted"; exit 1; fi
done
