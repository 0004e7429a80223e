#!/usr/bin/env bash
# `lumeko-tool convert` onto every kind of output target: the exit status, the message
# on stderr, what is written, and that the movie being read and an unrelated file stay
# byte for byte as they were, with no temporary file left over.
set -euo pipefail
tool="$1"
dir=$(mktemp -d)
chmod 755 "$dir"
trap 'chmod -R u+w "$dir" 2>/dev/null; rm -rf "$dir"' EXIT
cd "$dir"

"$tool" make source.avi --size 32x16 --frames 6 --audio dk4 > /dev/null
failures=0

# A command prefix that runs as an unprivileged user where the test is root: read-only
# folders must bind, and a device must not be replaceable by accident.
unprivileged=()
[ "$(id -u)" -ne 0 ] || unprivileged=(setpriv --reuid=65534 --regid=65534 --clear-groups)

# case NAME STATUS MESSAGE SETUP WRITTEN COMMAND...: prepares a fresh folder with SETUP
# (a shell text), runs COMMAND in it, and checks STATUS, that stderr holds MESSAGE, and
# that every file but WRITTEN is as it was.
case_() {
  local name="$1" status="$2" message="$3" setup="$4" written="$5"
  shift 5
  rm -rf work && mkdir work && chmod 777 work && cp source.avi work/in.avi
  echo "unrelated" > work/notes.txt
  chmod a+r work/*
  (cd work && eval "$setup")
  local before
  before=$(cd work && find . -mindepth 1 ! -name "$written" -printf '%p %y %l\n' | sort; \
           find . -type f ! -name "$written" -exec md5sum {} + 2>/dev/null | sort)
  set +e
  (cd work && timeout 30 "$@") > stdout.txt 2> stderr.txt
  local got=$?
  set -e
  local after
  after=$(cd work && find . -mindepth 1 ! -name "$written" -printf '%p %y %l\n' | sort; \
          find . -type f ! -name "$written" -exec md5sum {} + 2>/dev/null | sort)
  local ok=1
  [ "$got" -eq "$status" ] || { echo "  exit status $got, expected $status"; ok=0; }
  [ -z "$message" ] || grep -qF -- "$message" stderr.txt || { echo "  stderr lacks: $message"; ok=0; }
  [ "$before" == "$after" ] || { echo "  other files changed:"; diff <(echo "$before") <(echo "$after") | sed 's/^/    /'; ok=0; }
  if [ $ok -eq 0 ]; then
    echo "FAILED: $name"; sed 's/^/  stderr: /' stderr.txt; failures=$((failures + 1))
  else
    echo "ok: $name"
  fi
}

# An AVI file, complete: its RIFF size covers the whole file.
valid_movie() {
  [ "$(head -c 4 "$1")" == RIFF ] && [ "$(head -c 12 "$1" | tail -c 4)" == "AVI " ] &&
    [ $(($(od -An -tu4 -j4 -N4 "$1") + 8)) -eq "$(stat -c %s "$1")" ]
}

case_ "new file" 0 "" "" out.avi "$tool" convert --quiet in.avi out.avi
valid_movie work/out.avi || { echo "FAILED: new file is no movie"; failures=$((failures + 1)); }

case_ "existing file without --force" 1 "out.avi: already exists; give --force to replace it" \
  "echo old > out.avi" out.avi "$tool" convert --quiet in.avi out.avi
[ "$(cat work/out.avi)" == old ] || { echo "FAILED: the existing file was replaced"; failures=$((failures + 1)); }

case_ "existing file with --force keeps its mode" 0 "" \
  "echo old > out.avi; chmod 600 out.avi" out.avi "$tool" convert --quiet -f in.avi out.avi
valid_movie work/out.avi && [ "$(stat -c %a work/out.avi)" == 600 ] ||
  { echo "FAILED: replaced file is no movie or lost its mode"; failures=$((failures + 1)); }

case_ "read-only folder" 1 "Permission denied" \
  "mkdir locked; chmod 555 locked" out.avi "${unprivileged[@]}" "$tool" convert --quiet in.avi locked/out.avi

case_ "link to a file writes the file, the link stays" 0 "" \
  "echo old > real.avi; ln -s real.avi link.avi" real.avi "$tool" convert --quiet -f in.avi link.avi
# The link and the file it names were meant to change; check them here.
[ -L work/link.avi ] && valid_movie work/real.avi ||
  { echo "FAILED: link replaced or its file not written"; failures=$((failures + 1)); }

case_ "link to nothing" 1 "which does not exist" \
  "ln -s missing.avi link.avi" out.avi "$tool" convert --quiet -f in.avi link.avi

case_ "named pipe" 1 "is a named pipe (FIFO)" "mkfifo fifo.avi" out.avi "$tool" convert --quiet -f in.avi fifo.avi

case_ "device (through a link, as a user)" 1 "is a device" \
  "ln -s /dev/null null.avi" out.avi "${unprivileged[@]}" "$tool" convert --quiet -f in.avi null.avi
[ -c /dev/null ] || { echo "FAILED: /dev/null is gone"; failures=$((failures + 1)); }

case_ "directory" 1 "folder.avi: is a directory" "mkdir folder.avi" out.avi "$tool" convert --quiet -f in.avi folder.avi

case_ "standard output" 2 "cannot be written to standard output" "" out.avi "$tool" convert --quiet in.avi -

case_ "input named like an old temporary file" 0 "" \
  "mv in.avi out.avi.partial" out.avi "$tool" convert --quiet out.avi.partial out.avi
valid_movie work/out.avi || { echo "FAILED: no movie written"; failures=$((failures + 1)); }

case_ "the input through a hard link" 1 "hard.avi: is the movie being converted" \
  "ln in.avi hard.avi" out.avi "$tool" convert --quiet -f in.avi hard.avi

case_ "the input through a link" 1 "is the movie being converted" \
  "ln -s in.avi link.avi" out.avi "$tool" convert --quiet -f in.avi link.avi

case_ "a file with another name" 1 "has other hard links" \
  "echo old > out.avi; ln out.avi other.avi" out.avi "$tool" convert --quiet -f in.avi out.avi

# A full disk: a small file system of our own, where user namespaces allow it.
if unshare -rm true 2> /dev/null; then
  # Mounts a 48 KiB file system on ./small for the command, then lists what is left on it.
  cat > full.sh << 'EOF2'
#!/bin/sh
unshare -rm sh -c 'mount -t tmpfs -o size=48k none small && "$@"; s=$?; ls -A small > left.txt; exit $s' sh "$@"
EOF2
  chmod +x full.sh
  "$tool" make big.avi --size 320x240 --frames 8 --audio none > /dev/null
  case_ "full disk" 1 "small/out.avi: No space left on device" \
    "mkdir small; cp ../big.avi ." left.txt ../full.sh "$tool" convert --quiet big.avi small/out.avi
  [ ! -s work/left.txt ] || { echo "FAILED: left on the full disk: $(cat work/left.txt)"; failures=$((failures + 1)); }
  case_ "dump --ppm onto a full disk" 1 "No space left on device" \
    "mkdir small; cp ../big.avi ." left.txt ../full.sh "$tool" dump --ppm big.avi small
else
  echo "skipped: full disk (no user namespaces)"
fi

[ $failures -eq 0 ]
