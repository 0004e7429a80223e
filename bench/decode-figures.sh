#!/usr/bin/env bash
# The figures of the decoder, the encoder and conversion in one run of a few minutes:
#   decoder at 640x480 against a memcpy of the display bitmap (same run), time per
#   frame from 160x120 to 2048x1536, our encoder's frames a second at 640x480, and
#   lumeko-tool convert of a 640x480 30 fps movie of 10 s in times real time.
# Usage: bench/decode-figures.sh [BIN] [BASE_BIN]
#   BIN: the build's bin folder (default build/bin); BASE_BIN: another build's bin
#   folder (say of main) measured in the same run, for before/after ratios.
# The machine's load is printed with every part: quiet machines give steadier figures.
set -euo pipefail
bin=${1:-build/bin}
base=${2:-}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
builds=("$bin")
[[ -n "$base" ]] && builds+=("$base")

load() { echo "# load: $(uptime | sed 's/.*load average: //')"; }

# medians PROGRAM FILTER COUNTER WIDTH: each build's medians of 3 repetitions of the
# benchmarks FILTER picks, with the named counter beside the time.
medians() {
  local program=$1 filter=$2 counter=$3 width=$4
  for b in "${builds[@]}"; do
    load
    echo "# $b"
    "$b/$program" --benchmark_filter="$filter" --benchmark_repetitions=3 \
      --benchmark_report_aggregates_only=true 2> /dev/null |
      awk -v counter="^$counter=" -v width="$width" \
        '/_median/ { x = ""; for (i = 1; i <= NF; ++i) if ($i ~ counter) x = $i;
                     printf "%-*s %9s %s cpu %9s %s  %s\n", width, $1, $2, $3, $4, $5, x }'
  done
}

echo "## Decoder, 640x480 (x_memcpy: fastest decode over fastest memcpy, same run)"
medians truemotion_bench '^BM_(Memcpy|Decode/(key|stretch|delta)).*/640/480' x_memcpy 44

echo
echo "## Decoder scaling (time per frame)"
medians truemotion_bench 'scaling' x_memcpy 52

echo
echo "## Encoder, 640x480 (frames a second)"
medians truemotion_encode_bench '/(640|636)/' fps 40

echo
echo "## Conversion of a 640x480 30 fps movie of 10 s (x real time, best of 3)"
"$bin/lumeko-tool" make --size 640x480 --fps 30 --frames 300 "$dir/movie.avi" > /dev/null
for b in "${builds[@]}"; do
  load
  echo "# $b"
  for codec in dib mjpg duck h264; do
    best=
    for run in 1 2 3; do
      start=$(date +%s.%N)
      "$b/lumeko-tool" convert --quiet -f --codec "$codec" "$dir/movie.avi" "$dir/out.avi" \
        2> /dev/null || { best=failed; break; }
      seconds=$(echo "$(date +%s.%N) - $start" | bc -l)
      if [[ -z "$best" ]] || (($(echo "$seconds < $best" | bc -l))); then best=$seconds; fi
    done
    if [[ "$best" == failed ]]; then
      printf '%-5s failed\n' "$codec"
    else
      printf '%-5s %6.2f s  %6.1fx real time  md5 %s\n' "$codec" "$best" \
        "$(echo "10 / $best" | bc -l)" "$(md5sum < "$dir/out.avi" | cut -c1-12)"
    fi
  done
done
load
