#!/usr/bin/env bash
# lumeko-tool as a terminal program: errors in English on stderr naming the file and
# the cause, exit status 0/1/2, several files per command, file names that are not
# UTF-8, valid JSON, the length for any rate and scale, and progress only on request
# when stderr is no terminal.
set -uo pipefail
tool="$1"
dir=$(mktemp -d)
chmod 755 "$dir"
trap 'rm -rf "$dir"' EXIT
cd "$dir"
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

"$tool" make movie.avi --size 32x16 --frames 6 --audio dk3 > /dev/null || exit 1
latin1=$'caf\xe9.avi'        # Latin-1
shiftjis=$'\x83\x80\x81[.avi' # Shift-JIS
cp movie.avi "$latin1"
cp movie.avi "$shiftjis"
mkfifo pipe.avi
mkdir folder.avi
echo "not a movie" > text.avi
# A movie of another codec: our own output of full frames.
"$tool" convert --quiet --codec dib movie.avi dib.avi || fail "convert to dib"

# check NAME STATUS STDERR-TEXT COMMAND...: the status, and the text on stderr.
check() {
  local name="$1" status="$2" text="$3"
  shift 3
  timeout 30 "$@" > out.txt 2> err.txt
  local got=$?
  [ "$got" -eq "$status" ] || fail "$name: exit status $got, expected $status"
  [ -z "$text" ] || grep -qF -- "$text" err.txt || fail "$name: stderr lacks '$text': $(cat err.txt)"
  if LC_ALL=C grep -qP '[\x80-\xff]' err.txt && ! grep -qF "$latin1" err.txt && ! grep -qF "$shiftjis" err.txt; then
    fail "$name: stderr is not English: $(cat err.txt)"
  fi
  return 0
}

check "missing file" 1 "lumeko-tool: missing.avi: No such file or directory" "$tool" info missing.avi
check "folder" 1 "folder.avi: is a directory" "$tool" info folder.avi
check "pipe, without waiting" 1 "pipe.avi: is a named pipe (FIFO)" "$tool" info pipe.avi
check "another codec" 1 "dib.avi: video is 'DIB ', not TrueMotion" "$tool" info dib.avi
check "not an AVI file" 1 "text.avi: not an AVI file" "$tool" dump text.avi d
check "play names the file" 1 "missing.avi: No such file or directory" "$tool" play --no-audio missing.avi
check "usage error" 2 "" "$tool" info
check "unknown option" 2 "" "$tool" convert --no-such-option movie.avi x.avi
if "$tool" convert --help | grep -q h264; then
  "$tool" make odd.avi --size 32x15 --frames 2 --audio none > /dev/null
  check "odd size for H.264" 1 "takes even picture sizes only, not 32x15" \
    "$tool" convert --quiet --codec h264 odd.avi h264.avi
fi
if [ "$(id -u)" -ne 0 ]; then
  cp movie.avi locked.avi && chmod 000 locked.avi
  check "permission denied" 1 "locked.avi: Permission denied" "$tool" info locked.avi
fi

# Several files: each is done, the bad one reported, the status 1.
check "info of several" 1 "missing.avi: No such file or directory" "$tool" info movie.avi missing.avi "$latin1"
[ "$(grep -c '^File:' out.txt)" -eq 2 ] || fail "info of several: $(cat out.txt)"
"$tool" dump movie.avi "$latin1" "$shiftjis" dumps > /dev/null || fail "dump of several"
for m in movie.avi "$latin1" "$shiftjis"; do
  [ "$(wc -l < "dumps/$m/frames.md5")" -eq 6 ] || fail "dump of $m"
  cmp -s dumps/movie.avi/frames.md5 "dumps/$m/frames.md5" || fail "dump of $m differs"
done
check "dump again without --force" 1 "already exists; give --force" "$tool" dump movie.avi dumps/movie.avi
"$tool" dump --force movie.avi dumps/movie.avi > /dev/null || fail "dump --force"

# Names that are not UTF-8, end to end, and JSON that stays valid for them.
"$tool" convert --quiet "$shiftjis" "out-$latin1" || fail "convert between non-UTF-8 names"
"$tool" info "out-$latin1" > /dev/null 2>&1 && fail "a full-frame file passed as TrueMotion"
"$tool" info --json "$latin1" > one.json || fail "info --json"
jq -e '.frames == 6' one.json > /dev/null || fail "info --json is not valid JSON: $(cat one.json)"
grep -qF '"path": "caf\udce9.avi"' one.json || fail "the byte that is not UTF-8 is not escaped: $(cat one.json)"
"$tool" info --json movie.avi "$shiftjis" > two.json || fail "info --json of two"
jq -e 'length == 2 and .[1].path == "\udc83\udc80\udc81[.avi"' two.json > /dev/null ||
  fail "info --json of two: $(cat two.json)"

# The running length for any rate and scale: scale 4294967295 once printed -35791394:-8.
python_free_patch() {  # sets the first stream header's scale and rate
  local at
  at=$(grep -obUaP 'strh' "$1" | head -1 | cut -d: -f1)
  printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($2 & 255)) $(($2 >> 8 & 255)) $(($2 >> 16 & 255)) $(($2 >> 24 & 255)))" |
    dd of="$1" bs=1 seek=$((at + 8 + 20)) conv=notrunc status=none
  printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($3 & 255)) $(($3 >> 8 & 255)) $(($3 >> 16 & 255)) $(($3 >> 24 & 255)))" |
    dd of="$1" bs=1 seek=$((at + 8 + 24)) conv=notrunc status=none
}
cp movie.avi slow.avi
python_free_patch slow.avi 4294967295 15
# 6 frames × 4294967295 / 15 s = 1717986918 s = 477218:35:18.
"$tool" info slow.avi > slow.txt || fail "info of the slow movie"
grep -q '^Length: *477218:35:18 ' slow.txt || fail "length: $(grep Length slow.txt)"
cp movie.avi short.avi
python_free_patch short.avi 1 3000
grep -q '^Length: *0:00 ' <("$tool" info short.avi) || fail "length of a short movie"

# Progress: none into a file, at most ten updates a second with --progress.
"$tool" make long.avi --size 32x16 --frames 300 --audio none > /dev/null
"$tool" convert long.avi plain.avi 2> progress.txt > /dev/null || fail "convert long"
[ ! -s progress.txt ] || fail "progress into a file: $(head -c 200 progress.txt)"
start=$(date +%s.%N)
"$tool" convert --progress long.avi shown.avi 2> progress.txt > /dev/null || fail "convert --progress"
seconds=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')
updates=$(tr '\r' '\n' < progress.txt | grep -c 'frames \[')
limit=$(awk -v s="$seconds" 'BEGIN { print int(s * 10) + 3 }')
[ "$updates" -ge 1 ] && [ "$updates" -le "$limit" ] ||
  fail "progress updates: $updates in $seconds s"
grep -q 'frames \[#*\] 300/300' progress.txt || fail "the last state is not shown"

[ $failures -eq 0 ]
