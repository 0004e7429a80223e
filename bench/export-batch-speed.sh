#!/usr/bin/env bash
# Batch export speed: eight 320x240 movies to MP4 with one job and with two; prints
# the seconds each took and the speed-up. Usage: bench/export-batch-speed.sh [lumeko-tool]
set -euo pipefail
tool=${1:-build/bin/lumeko-tool}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
for i in 1 2 3 4 5 6 7 8; do "$tool" make --frames 150 "$dir/movie$i.avi" > /dev/null; done
seconds() {
  local start end
  start=$(date +%s.%N)
  "$tool" convert --quiet --to mp4 --out-dir "$dir/out$1" -j "$1" "$dir"/movie*.avi 2> /dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
one=$(seconds 1)
two=$(seconds 2)
printf -- '-j 1: %.2f s  -j 2: %.2f s  speed-up %.2f (8 movies of 10 s: %.0fx / %.0fx real time)\n' \
  "$one" "$two" "$(echo "$one / $two" | bc -l)" "$(echo "80 / $one" | bc -l)" "$(echo "80 / $two" | bc -l)"
