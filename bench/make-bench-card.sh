#!/usr/bin/env bash
# Makes a 512 MiB camera card image for the scan benchmarks.
#
#   bench/make-bench-card.sh full|empty OUT.img
#   SIZE_MIB=4096 bench/make-bench-card.sh full OUT.img    # another size (FAT32 from 64 MiB on)
#
# full:  DCIM/100CAMRA filled with 5 to 12 megapixel photos (1.5 to 4 MB each) until the card
#        has no room for another, then every tenth photo deleted, as on a card in use.
# empty: the same card with a dozen photos; the rest of the card is zeros.
# Both images are written out in full (no holes), so that cp and cat cannot skip the empty parts
# that a scan has to read. The same arguments give the same image.
set -euo pipefail

if [ $# -ne 2 ] || { [ "$1" != full ] && [ "$1" != empty ]; }; then
  echo "usage: $0 full|empty OUT.img" >&2
  exit 1
fi
kind=$1 out=$2
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
photo=${MAKE_PHOTO:-$build/make-photo}
if [ -z "${MAKE_PHOTO:-}" ]; then
  log=$(mktemp)
  if ! { [ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build"; } >"$log" 2>&1 ||
     ! cmake --build "$build" --target make-photo >>"$log" 2>&1; then
    [ -x "$photo" ] || { cat "$log" >&2; rm -f "$log"; echo "$0: cannot build make-photo" >&2; exit 2; }
  fi
  rm -f "$log"
fi

export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-1563091200}
export TZ=UTC MTOOLS_SKIP_CHECK=1 LC_ALL=C
size_mib=${SIZE_MIB:-512}

work=$(mktemp -d "${TMPDIR:-/tmp}/bench-card.XXXXXX")
trap 'rm -rf "$work"' EXIT
img=$work/card.img
head -c $((size_mib * 1024 * 1024)) /dev/zero >"$img"
# The full card as a computer formats it (FAT32, 4 KiB clusters), the empty one as it comes from
# the shop (FAT16, 16 KiB clusters).
if [ "$kind" = full ]; then fat=32 cluster=4096; else fat=16 cluster=16384; fi
mkfs.fat -F $fat -S 512 -s $((cluster / 512)) -n BENCHCARD --invariant "$img" >/dev/null
mmd -i "$img" ::DCIM ::DCIM/100CAMRA

free_bytes() {
  mdir -i "$img" :: | sed -n 's/ bytes free//p' | tr -d ' '
}

if [ "$kind" = full ]; then wanted=100000; else wanted=12; fi

# Photo i: one of three camera sizes, Exif on odd seeds.
dims=("4000 3000" "3264 2448" "2592 1944")
photo_name() { printf 'IMG_%04d.JPG' "$1"; }
# One photo, run by an inner shell: make-photo, folder, name, seed, width, height, jfif|exif.
# shellcheck disable=SC2016
one_photo='if [ "$6" = exif ]; then set -- "$@" --exif; fi
  "$0" --out "$1/$2" --seed "$3" --width "$4" --height "$5" ${7:-} &&
  touch -d "@$((SOURCE_DATE_EPOCH + $3 * 60))" "$1/$2"'
make_batch() {  # first last: made two at a time
  for i in $(seq "$1" "$2"); do
    header=jfif
    if [ $((i % 2)) -eq 1 ]; then header=exif; fi
    echo "$(photo_name "$i") $i ${dims[$((i % 3))]} $header"
  done | xargs -P 2 -L 1 sh -c "$one_photo" "$photo" "$work"
}

# Take photos in order while the next one still fits.
room=$(free_bytes)
copied=()
next=1 full=no
while [ "$full" = no ] && [ ${#copied[@]} -lt "$wanted" ]; do
  last=$((next + 19))
  if [ "$last" -gt "$wanted" ]; then last=$wanted; fi
  make_batch "$next" "$last"
  for i in $(seq "$next" "$last"); do
    f=$work/$(photo_name "$i")
    need=$(( ($(stat -c %s "$f") + cluster - 1) / cluster * cluster ))
    if [ "$full" = yes ] || [ "$need" -gt "$room" ]; then full=yes; rm "$f"; continue; fi
    room=$((room - need))
    copied+=("$f")
  done
  next=$((last + 1))
done
mcopy -m -i "$img" "${copied[@]}" ::DCIM/100CAMRA/

deleted=0
if [ "$kind" = full ]; then
  for ((i = 10; i <= ${#copied[@]}; i += 10)); do
    mdel -i "$img" "::DCIM/100CAMRA/$(photo_name "$i")"
    deleted=$((deleted + 1))
  done
fi

mkdir -p "$(dirname "$out")"
mv "$img" "$out.tmp.$$"
mv "$out.tmp.$$" "$out"
echo "$out: $size_mib MiB FAT$fat card, ${#copied[@]} photos written, $deleted of them deleted"
