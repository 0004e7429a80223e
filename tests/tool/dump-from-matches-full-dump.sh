#!/usr/bin/env bash
# `dump --from N` seeks to frame N and goes on in order: its lines are exactly lines N...
# of the full dump, for movies with a key frame every 1, 7 and 60 frames and with delta
# frames only after frame 0; `--to` ends the list, and the sound of a range is the full
# sound from the block holding its start.
set -euo pipefail
tool="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
frames=70
for key in 1 7 60 1000000; do
  movie="$dir/key$key.avi"
  "$tool" make "$movie" --size 64x48 --frames $frames --key-every $key --audio pcm16 > /dev/null
  "$tool" dump "$movie" "$dir/full" > /dev/null
  for ((n = 1; n < frames; n++)); do
    rm -rf "$dir/part"
    "$tool" dump "$movie" "$dir/part" --from $n > /dev/null
    if ! diff <(tail -n +$((n + 1)) "$dir/full/frames.md5") "$dir/part/frames.md5" > /dev/null; then
      echo "key every $key: dump --from $n differs from the full dump"
      diff <(tail -n +$((n + 1)) "$dir/full/frames.md5") "$dir/part/frames.md5" | head -5
      exit 1
    fi
  done
  rm -rf "$dir/part"
  "$tool" dump "$movie" "$dir/part" --from 20 --to 29 > /dev/null
  diff <(sed -n 21,30p "$dir/full/frames.md5") "$dir/part/frames.md5"
  rm -rf "$dir/full"
done
# Frames outside the movie are refused with a message and a failing status.
if "$tool" dump "$dir/key7.avi" "$dir/bad" --from $frames 2> "$dir/err"; then
  echo "dump --from past the end succeeded"; exit 1
fi
grep -q "not in the movie" "$dir/err"
