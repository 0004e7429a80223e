#!/usr/bin/env bash
# Golden hashes: a few movies made by our own tool with fixed settings, and what they
# decode to, against the lists kept beside this script. A change in the encoder, the
# writer or the decoder shows up as a diff of these lists, not only as two runs that
# agree with each other.
#   check-golden.sh TOOL            compare
#   check-golden.sh TOOL --update   rewrite the lists after a deliberate change
# Each list holds the command's settings, the file's md5, each frame's md5 (with 1 when
# the frame decoded), the md5 of all the decoded sound, and the md5s of the movie
# converted to full frames and to TrueMotion.
set -euo pipefail
tool="$1"
update="${2:-}"
here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# Name, then the settings: each picture mode with each kind of sound, key and delta frames.
movies=(
  "k24-pcm16     --size 64x48 --frames 10 --fps 15 --mode 24      --key-every 4 --audio pcm16"
  "k24-dk4mono   --size 48x32 --frames 6  --fps 10 --mode 24      --key-every 3 --audio dk4-mono"
  "k15-dk4       --size 64x48 --frames 10 --fps 15 --mode 15      --key-every 4 --audio dk4"
  "k15-pcm8      --size 32x16 --frames 5  --fps 25 --mode 15      --key-every 2 --audio pcm8"
  "stretch-dk3   --size 96x48 --frames 10 --fps 15 --mode stretch --key-every 4 --audio dk3"
)

failed=0
for line in "${movies[@]}"; do
  read -r name settings <<< "$line"
  # shellcheck disable=SC2086  # the settings are words on purpose
  "$tool" make $settings "$dir/$name.avi" > /dev/null
  "$tool" dump "$dir/$name.avi" "$dir/$name" > /dev/null
  {
    echo "settings $settings"
    echo "file $(md5sum < "$dir/$name.avi" | cut -d' ' -f1)"
    sed 's/^/frame /' "$dir/$name/frames.md5"
    echo "sound $(cut -d' ' -f1 "$dir/$name/audio.md5")"
    # The converter's AVI output, full frames and through our own compressor.
    for codec in dib duck; do
      "$tool" convert --quiet --codec "$codec" "$dir/$name.avi" "$dir/$name-$codec.avi"
      echo "convert $codec $(md5sum < "$dir/$name-$codec.avi" | cut -d' ' -f1)"
    done
  } > "$dir/$name.md5"
  if [ "$update" = --update ]; then
    cp "$dir/$name.md5" "$here/$name.md5"
  elif ! diff -u "$here/$name.md5" "$dir/$name.md5"; then
    echo "golden: $name differs from tests/golden/$name.md5" >&2
    failed=1
  fi
done
exit $failed
