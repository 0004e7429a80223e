#!/usr/bin/env bash
# Ctrl+C (SIGINT) or SIGTERM in the middle of `lumeko-tool convert`: the program ends by
# that signal and leaves nothing behind, and the file it would have replaced is intact.
set -uo pipefail
set -m  # background jobs take SIGINT as a terminal's foreground job would
tool="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
"$tool" make in.avi --size 320x240 --frames 120 --audio dk4 > /dev/null || exit 1
echo "the user's file" > out.avi
expected=$(ls -A | sort)
failures=0

for signal in INT TERM; do
  caught=0
  for attempt in 1 2 3 4 5; do
    "$tool" convert --quiet --force --codec mjpg in.avi out.avi &
    pid=$!
    # Wait for the conversion to be under way: its hidden temporary file is there.
    for _ in $(seq 1 1000); do
      ls -A | grep -q '^\.out\.avi\.' && break
      kill -0 "$pid" 2> /dev/null || break
      sleep 0.005
    done
    if kill -STOP "$pid" 2> /dev/null && ls -A | grep -q '^\.out\.avi\.'; then
      kill "-$signal" "$pid"
      kill -CONT "$pid"
      # With job control, wait also reports the stop (128 + SIGSTOP); wait on past it.
      wait "$pid"
      status=$?
      while [ "$status" -eq $((128 + $(kill -l STOP))) ]; do
        wait "$pid"
        status=$?
      done
      caught=1
      [ "$status" -eq $((128 + $(kill -l "$signal"))) ] ||
        { echo "FAILED: SIG$signal: exit status $status"; failures=$((failures + 1)); }
      [ "$(ls -A | sort)" == "$expected" ] ||
        { echo "FAILED: SIG$signal left: $(ls -A)"; failures=$((failures + 1)); }
      [ "$(cat out.avi)" == "the user's file" ] ||
        { echo "FAILED: SIG$signal: the file was replaced"; failures=$((failures + 1)); }
      break
    fi
    # Finished before it could be stopped: put the file back and try again.
    kill -CONT "$pid" 2> /dev/null
    while kill -0 "$pid" 2> /dev/null; do wait "$pid"; done
    echo "the user's file" > out.avi
  done
  [ $caught -eq 1 ] || { echo "FAILED: SIG$signal: never caught a conversion under way"; failures=$((failures + 1)); }
  [ $caught -eq 0 ] || echo "ok: SIG$signal"
done
[ $failures -eq 0 ]
