#!/usr/bin/env bash
# SIGINT and SIGTERM end `lumeko-tool play` within a second while its sound plays, with
# the shell's status for the signal (130, 143).
set -euo pipefail
tool="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$tool" make "$dir/movie.avi" --size 64x48 --frames 300 --fps 15 --audio dk4 > /dev/null
for case in INT:130 TERM:143; do
  signal=${case%:*}
  expected=${case#*:}
  SDL_AUDIODRIVER=dummy "$tool" play --play --close "$dir/movie.avi" > /dev/null 2>&1 &
  pid=$!
  sleep 1.5
  kill -0 "$pid"  # still playing
  start=$(date +%s%N)
  kill -"$signal" "$pid"
  status=0
  wait "$pid" || status=$?
  took=$(( ($(date +%s%N) - start) / 1000000 ))
  echo "SIG$signal: status $status after $took ms"
  [ "$status" -eq "$expected" ]
  [ "$took" -lt 1000 ]
done
