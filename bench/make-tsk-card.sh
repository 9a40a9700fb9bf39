#!/usr/bin/env bash
# Makes a FAT32 camera card image as a card in use looks: two shooting sessions with many photos
# deleted in between and after, for the folder based method's benchmark against tsk_recover.
#
#   bench/make-tsk-card.sh SIZE_MIB OUT.img PHOTO_DIR [--sparse]
#
# PHOTO_DIR holds the photos IMG_0001.JPG ... (made here when missing, and kept there, so that
# cards of several sizes hold the very same files). On the card, in this order:
#   1. session 1: IMG_0001..0150 into DCIM/100CAMRA;
#   2. 90 of them deleted (every number whose remainder by 5 is 1, 2 or 4);
#   3. session 2: IMG_0151..0200 into DCIM/101CAMRA, written from the first free cluster on as
#      many cameras do, so that they fill (and split across) the room the deletions freed and
#      overwrite the deleted photos there;
#   4. 15 of those deleted (remainder by 10 of 1, 4 or 7).
# OUT.img.manifest lists "NAME SHA256 live|deleted" for every photo. At the most 200 MB of photos
# are on the card at once; SIZE_MIB must be at least 320 (a FAT32 volume of 4 KiB clusters needs
# 256 MiB and more). The image is written out in full, so that reading it costs what reading a
# card costs, unless --sparse is given (for cards that only serve to measure memory). Two runs give
# the same bytes.
set -euo pipefail

if [ $# -lt 3 ] || [ $# -gt 4 ] || { [ $# -eq 4 ] && [ "$4" != --sparse ]; }; then
  echo "usage: $0 SIZE_MIB OUT.img PHOTO_DIR [--sparse]" >&2
  exit 1
fi
size_mib=$1 out=$2 photos=$3 sparse=${4:-}
root=$(cd "$(dirname "$0")/.." && pwd)
photo=${MAKE_PHOTO:-${BUILD_DIR:-$root/build}/make-photo}
[ -x "$photo" ] || { echo "$0: $photo is missing; build the make-photo target" >&2; exit 2; }

export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-1563091200}
export TZ=UTC MTOOLS_SKIP_CHECK=1 LC_ALL=C
last_photo=200

name_of() { printf 'IMG_%04d.JPG' "$1"; }
deleted() {  # number: whether the owner deleted the photo
  if [ "$1" -le 150 ]; then
    case $(($1 % 5)) in 1|2|4) return 0 ;; esac
  else
    case $(($1 % 10)) in 1|4|7) return 0 ;; esac
  fi
  return 1
}

# The photos: 3 and 5 megapixels, Exif on odd numbers, dated a minute apart.
mkdir -p "$photos"
dims=("2048 1536" "2592 1944")
# shellcheck disable=SC2016
one_photo='[ -f "$1/$2" ] && exit 0
  if [ $(($3 % 2)) -eq 1 ]; then set -- "$@" --exif; fi
  "$0" --out "$1/$2.tmp" --seed "$((500 + $3))" --width "$4" --height "$5" --quality 88 ${6:-} &&
  touch -d "@$((SOURCE_DATE_EPOCH + $3 * 60))" "$1/$2.tmp" && mv "$1/$2.tmp" "$1/$2"'
for i in $(seq 1 $last_photo); do
  echo "$(name_of "$i") $i ${dims[$((i % 2))]}"
done | xargs -P 2 -L 1 sh -c "$one_photo" "$photo" "$photos"

work=$(mktemp -d "${TMPDIR:-/tmp}/tsk-card.XXXXXX")
trap 'rm -rf "$work"' EXIT
img=$work/card.img
if [ -n "$sparse" ]; then
  truncate -s $((size_mib * 1024 * 1024)) "$img"
else
  head -c $((size_mib * 1024 * 1024)) /dev/zero >"$img"
fi
mkfs.fat -F 32 -S 512 -s 8 -n TSKBENCH --invariant "$img" >/dev/null
mmd -i "$img" ::DCIM ::DCIM/100CAMRA ::DCIM/101CAMRA

session() {  # first last folder
  local files=()
  for i in $(seq "$1" "$2"); do files+=("$photos/$(name_of "$i")"); done
  mcopy -m -i "$img" "${files[@]}" "::DCIM/$3/"
}
remove() {  # first last folder
  local names=()
  for i in $(seq "$1" "$2"); do
    if deleted "$i"; then names+=("::DCIM/$3/$(name_of "$i")"); fi
  done
  mdel -i "$img" "${names[@]}"
}
session 1 150 100CAMRA
remove 1 150 100CAMRA
# mtools would go on after the last cluster it gave out (the FSInfo hint); "unknown" makes it take
# the first free cluster, as a camera does.
printf '\377\377\377\377' | dd of="$img" bs=1 seek=$((512 + 492)) conv=notrunc status=none
session 151 $last_photo 101CAMRA
remove 151 $last_photo 101CAMRA

: >"$work/manifest"
for i in $(seq 1 $last_photo); do
  state=live
  if deleted "$i"; then state=deleted; fi
  echo "$(name_of "$i") $(sha256sum <"$photos/$(name_of "$i")" | cut -c1-64) $state" >>"$work/manifest"
done

mkdir -p "$(dirname "$out")"
mv "$work/manifest" "$out.manifest"
mv "$img" "$out"
echo "$out: $size_mib MiB FAT32 card, $last_photo photos, $(grep -c deleted "$out.manifest") deleted" >&2
