#!/usr/bin/env bash
# Builds the bundled demo card: a 48 MiB FAT16 camera card image with something to recover.
#
#   tools/make-demo-card.sh OUT.img
#
# What goes on it, in the order a camera and its owner would have done it:
#   1. generation 1: photos in DCIM/100CAMRA, then a quick format over them (mkfs.fat on the
#      existing image, which rewrites the boot sector, FATs and root folder and leaves the data
#      clusters alone), so the older photos survive only as data without any directory entry;
#   2. generation 2: new photos in DCIM/100CAMRA and a folder of long-named holiday pictures
#      copied from a computer; some of each are then deleted with mdel.
# The newer photos overwrite the start of the data area, so the first older photos are partly
# lost and the later ones are intact.
#
# Two runs give byte-identical images: the photos come from fixed seeds, timestamps from
# SOURCE_DATE_EPOCH, and mkfs.fat runs with --invariant.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 OUT.img" >&2
  exit 1
fi
out=$1
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-1563091200}  # 2019-07-14 08:00 UTC
export TZ=UTC MTOOLS_SKIP_CHECK=1 LC_ALL=C

# make-photo comes from this project's own build; MAKE_PHOTO names another copy.
photo=${MAKE_PHOTO:-}
if [ -z "$photo" ]; then
  photo=$build/make-photo
  log=$(mktemp)
  if ! { [ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build"; } >"$log" 2>&1 ||
     ! cmake --build "$build" --target make-photo >>"$log" 2>&1; then
    if [ ! -x "$photo" ]; then
      cat "$log" >&2
      rm -f "$log"
      echo "$0: cannot build make-photo" >&2
      exit 2
    fi
    echo "$0: warning: could not rebuild make-photo, using the one in $build" >&2
  fi
  rm -f "$log"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
img=$work/card.img

# Camera-like files: a picture of the given seed and size, dated minutes after the epoch.
# Odd seeds carry an Exif block as camera files do, even ones a JFIF header.
make_photo() {  # name seed width height minutes
  local exif=()
  if [ $(($2 % 2)) -eq 1 ]; then exif=(--exif); fi
  "$photo" --out "$work/$1" --seed "$2" --width "$3" --height "$4" --quality 90 "${exif[@]}"
  touch -d "@$((SOURCE_DATE_EPOCH + $5 * 60))" "$work/$1"
}

format_card() {  # [size in KiB: create the image anew]
  local create=()
  if [ $# -gt 0 ]; then create=(-C); fi
  mkfs.fat "${create[@]}" -F 16 -S 512 -s 8 -f 2 -r 512 -n DEMOCARD --invariant "$img" "$@" >/dev/null
}

# Generation 1: sixteen 3-megapixel photos, about 1 MB each.
format_card 49152
mmd -i "$img" ::DCIM ::DCIM/100CAMRA
gen1=0
for i in $(seq 1 16); do
  name=$(printf 'IMG_%04d.JPG' "$i")
  make_photo "$name" "$((100 + i))" 2048 1536 "$i"
  mcopy -m -i "$img" "$work/$name" ::DCIM/100CAMRA/
  rm "$work/$name"
  gen1=$((gen1 + 1))
done

# Quick format: the same image without -C, so only the file system structures are rewritten.
format_card

# Generation 2: a new series on the formatted card, then holiday pictures with long names.
mmd -i "$img" ::DCIM ::DCIM/100CAMRA "::Holiday 2019"
live=0 deleted=0 long_deleted=0
for i in $(seq 1 10); do
  name=$(printf 'IMG_%04d.JPG' "$((100 + i))")
  make_photo "$name" "$((200 + i))" 1600 1200 "$((600 + i))"
  mcopy -m -i "$img" "$work/$name" ::DCIM/100CAMRA/
  rm "$work/$name"
done
holiday=("Beach at sunset.jpg" "Lighthouse from the cliffs.jpg" "Grandma's 80th birthday party.jpg"
         "Harbour in the morning fog.jpg")
for i in "${!holiday[@]}"; do
  make_photo "${holiday[$i]}" "$((300 + i))" 1920 1440 "$((700 + i))"
  mcopy -m -i "$img" "$work/${holiday[$i]}" "::Holiday 2019/"
  rm "$work/${holiday[$i]}"
done

# The owner deletes a few: three camera files and two of the long-named ones.
for n in 0103 0106 0107; do
  mdel -i "$img" "::DCIM/100CAMRA/IMG_$n.JPG"
  deleted=$((deleted + 1))
done
for n in "Lighthouse from the cliffs.jpg" "Harbour in the morning fog.jpg"; do
  mdel -i "$img" "::Holiday 2019/$n"
  deleted=$((deleted + 1)) long_deleted=$((long_deleted + 1))
done
live=$((10 + ${#holiday[@]} - deleted))

mkdir -p "$(dirname "$out")"
mv "$img" "$out.tmp.$$"
mv "$out.tmp.$$" "$out"
echo "$out: 48 MiB FAT16 card: $live live photos (DCIM/100CAMRA, Holiday 2019)," \
  "$deleted deleted ($long_deleted with long names), $gen1 older photos from before a quick format (the newer ones overwrote the first of them)"
