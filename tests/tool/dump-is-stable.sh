#!/usr/bin/env bash
# Making the same movie twice gives the same file, and dumping it twice the same lists.
set -euo pipefail
tool="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
for n in 1 2; do
  "$tool" make "$dir/movie$n.avi" --size 64x48 --frames 20 --audio dk3 > /dev/null
  "$tool" dump "$dir/movie$n.avi" "$dir/dump$n" > /dev/null
done
cmp "$dir/movie1.avi" "$dir/movie2.avi"
cmp "$dir/dump1/frames.md5" "$dir/dump2/frames.md5"
cmp "$dir/dump1/audio.md5" "$dir/dump2/audio.md5"
[ "$(wc -l < "$dir/dump1/frames.md5")" -eq 20 ]
! grep -qv ' 1$' "$dir/dump1/frames.md5"
"$tool" info --json "$dir/movie1.avi" | grep -q '"frames": 20'
