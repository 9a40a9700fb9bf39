#!/usr/bin/env bash
# Makes the seed images of the FAT fuzz target into OUTDIR (default fuzz/seeds):
#
#   fat12-deleted.img      360 KiB FAT12: camera folder, long names, a fragmented file, deleted
#                          files and a removed directory tree
#   fat16-quickformat.img  FAT16 of 4400 clusters: photos, a quick format over them, newer photos,
#                          some deleted
#   fat32-tiny.img         the smallest FAT32 (65,525 clusters of 512 bytes, one FAT): folders,
#                          photos, deleted files
#   exfat-deleted.img      1 MiB exFAT (4 KiB clusters): nested folders, deleted photos, a
#                          fragmented deleted photo, a removed folder
#   exfat-quickformat.img  1 MiB exFAT: photos in folders, a quick format over them, a newer photo
#                          (the old folders are lost ones now)
#
# The exFAT images are written through exfat-fuse on a loop device, which needs root; without it
# they are left out with a note.
#
# Each image is cut after its last sector that is not all zeros, to keep the seeds small; the
# engine reads what lies beyond the end of an image as unreadable sectors. Two runs give the same
# bytes (fixed photo seeds, SOURCE_DATE_EPOCH, mkfs.fat --invariant).
#
#   fuzz/make-seeds.sh [OUTDIR]     needs mkfs.fat, mtools, python3 and build/make-photo (and for
#                                   exFAT mkfs.exfat, losetup, mount.exfat-fuse)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/fuzz/seeds}
photo=${MAKE_PHOTO:-${BUILD_DIR:-$root/build}/make-photo}
if [ ! -x "$photo" ]; then
  echo "$0: $photo is missing; build it with: cmake --build build --target make-photo" >&2
  exit 2
fi

export SOURCE_DATE_EPOCH=1563091200 TZ=UTC MTOOLS_SKIP_CHECK=1 LC_ALL=C
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

# A small photo on the image: name, seed, width, height. Odd seeds carry an Exif block.
put_photo() {  # image dest seed width height
  local exif=()
  if [ $(($3 % 2)) -eq 1 ]; then exif=(--exif); fi
  "$photo" --out "$work/photo.jpg" --seed "$3" --width "$4" --height "$5" --quality 60 --grain 4 "${exif[@]}"
  mcopy -o -m -i "$1" "$work/photo.jpg" "$2"
}

put_text() {  # image dest bytes
  head -c "$3" /dev/zero | tr '\0' 'q' >"$work/text"
  mcopy -o -i "$1" "$work/text" "$2"
}

# Cuts the image after its last sector holding a byte other than zero.
trim() {
  python3 - "$1" <<'EOF'
import sys
path = sys.argv[1]
data = open(path, 'rb').read()
end = len(data.rstrip(b'\0'))
end = (end + 511) // 512 * 512
open(path, 'wb').write(data[:max(end, 512)])
EOF
}

# FAT12.
img=$work/fat12.img
mkfs.fat -C -F 12 -s 1 -r 64 -n FUZZ12 --invariant "$img" 360 >/dev/null
mmd -i "$img" ::DCIM ::DCIM/100TEST ::DCIM/OLD ::DCIM/OLD/SUB
for i in 1 2 3 4; do put_photo "$img" "::DCIM/100TEST/IMG_000$i.JPG" "$i" 96 64; done
put_photo "$img" "::Holiday at the lake.jpg" 5 120 80
put_text "$img" ::NOTES.TXT 700
put_photo "$img" ::DCIM/OLD/OLD_0001.JPG 6 64 48
put_photo "$img" ::DCIM/OLD/SUB/OLD_0002.JPG 7 64 48
# A fragmented file: it fills the hole a deleted file left, then goes on after the next one.
put_photo "$img" ::DCIM/100TEST/A.JPG 8 64 48
put_photo "$img" ::DCIM/100TEST/B.JPG 9 64 48
put_photo "$img" ::DCIM/100TEST/C.JPG 10 64 48
mdel -i "$img" ::DCIM/100TEST/B.JPG
put_photo "$img" ::DCIM/100TEST/FRAGMENT.JPG 11 160 120
mdel -i "$img" ::DCIM/100TEST/IMG_0002.JPG "::Holiday at the lake.jpg" ::DCIM/100TEST/FRAGMENT.JPG
mdeltree -i "$img" ::DCIM/OLD
trim "$img"
cp "$img" "$out/fat12-deleted.img"

# FAT16 with a quick format between two generations of photos.
img=$work/fat16.img
mkfs.fat -C -F 16 -s 1 -r 32 -n FUZZ16 --invariant "$img" 2240 >/dev/null
mmd -i "$img" ::DCIM ::DCIM/100CAMRA
for i in 1 2 3 4 5; do put_photo "$img" "::DCIM/100CAMRA/OLD_000$i.JPG" "$((20 + i))" 128 96; done
mkfs.fat -F 16 -s 1 -r 32 -n FUZZ16 --invariant "$img" >/dev/null
mmd -i "$img" ::DCIM ::DCIM/100CAMRA
for i in 1 2; do put_photo "$img" "::DCIM/100CAMRA/NEW_000$i.JPG" "$((30 + i))" 64 48; done
mdel -i "$img" ::DCIM/100CAMRA/NEW_0001.JPG
trim "$img"
cp "$img" "$out/fat16-quickformat.img"

# FAT32: 65,525 clusters is the fewest a FAT32 volume has; one FAT keeps the seed small.
img=$work/fat32.img
mkfs.fat -C -F 32 -s 1 -f 1 -n FUZZ32 --invariant "$img" 33800 >/dev/null 2>&1
mmd -i "$img" ::DCIM ::DCIM/100CAMRA ::MISC
for i in 1 2 3; do put_photo "$img" "::DCIM/100CAMRA/P000$i.JPG" "$((40 + i))" 96 64; done
put_photo "$img" "::MISC/a long file name.jpeg" 44 64 48
put_text "$img" ::MISC/README.TXT 300
mdel -i "$img" ::DCIM/100CAMRA/P0002.JPG "::MISC/a long file name.jpeg"
trim "$img"
cp "$img" "$out/fat32-tiny.img"

# exFAT: the image is mounted through exfat-fuse while the commands run.
exfat_session() {  # image commands...
  local img=$1 loop
  shift
  loop=$(losetup -f --show "$img")
  mkdir -p "$work/mnt"
  mount.exfat-fuse "$loop" "$work/mnt" >/dev/null
  "$@"
  umount "$work/mnt"
  losetup -d "$loop"
}
exfat_photo() {  # path seed width height
  mkdir -p "$(dirname "$work/mnt/$1")"
  "$photo" --out "$work/mnt/$1" --seed "$2" --width "$3" --height "$4" --quality 60 --grain 4
}
exfat_deleted() {
  for i in 1 2 3; do exfat_photo "DCIM/100TEST/IMG_000$i.JPG" "$((50 + i))" 96 64; done
  exfat_photo "DCIM/101TEST/A photo with a name over two entries.jpg" 54 64 48
  head -c 9000 /dev/zero | tr '\0' 'q' >"$work/mnt/DCIM/100TEST/filler.txt"
  exfat_photo DCIM/100TEST/AFTER.JPG 55 64 48
  rm "$work/mnt/DCIM/100TEST/filler.txt"
  exfat_photo DCIM/100TEST/FRAGMENT.JPG 56 200 150
  exfat_photo OLD/SUB/OLD_0001.JPG 57 64 48
  rm "$work/mnt/DCIM/100TEST/IMG_0002.JPG" "$work/mnt/DCIM/101TEST/A photo with a name over two entries.jpg" \
    "$work/mnt/DCIM/100TEST/FRAGMENT.JPG"
  rm -r "$work/mnt/OLD"
}
# The old photo at the top takes the cluster after the root, which the new one takes again: the
# old folders after it are left for the lost data search.
exfat_old() {
  exfat_photo ROOT_0001.JPG 60 64 48
  for i in 1 2 3; do exfat_photo "DCIM/100OLD/OLD_000$i.JPG" "$((60 + i))" 96 64; done
}
exfat_new() { exfat_photo NEW_0001.JPG 64 64 48; }
if command -v mkfs.exfat >/dev/null && command -v mount.exfat-fuse >/dev/null && [ "$(id -u)" -eq 0 ]; then
  img=$work/exfat.img
  truncate -s 1M "$img"
  mkfs.exfat -b 4K -c 4K -L FUZZEX "$img" >/dev/null
  exfat_session "$img" exfat_deleted
  trim "$img"
  cp "$img" "$out/exfat-deleted.img"

  img=$work/exfat-qf.img
  truncate -s 1M "$img"
  mkfs.exfat -b 4K -c 4K -L FUZZEX "$img" >/dev/null
  exfat_session "$img" exfat_old
  mkfs.exfat -b 4K -c 4K -L FUZZEX "$img" >/dev/null
  exfat_session "$img" exfat_new
  trim "$img"
  cp "$img" "$out/exfat-quickformat.img"
else
  echo "$0: exFAT seeds left out (they need root, mkfs.exfat and mount.exfat-fuse)" >&2
fi

ls -l "$out"
