#!/usr/bin/env bash
# Makes a 1 GiB FAT32 card image (4 KiB clusters) of the files a phone or camera writes today,
# made by the real tools, and a manifest of them next to it (OUT.img.manifest).
#
#   bench/make-today-card.sh OUT.img [deleted|formatted]      (default: deleted)
#
# The files, in DCIM/100MEDIA, taken in one order that mixes the kinds:
#   JPEG  6 to 16 MB (9 to 20 megapixels of noise, quality 92), four kinds in turn: JFIF (APP0);
#         Exif with a thumbnail and no APP0, as phones write; no APP segment at all (FF D8 FF DB);
#         JFIF followed by Exif with a thumbnail
#   HEIC  12 megapixels with a thumbnail (heif-enc)
#   MP4   H.264 + AAC films of 4 to 8 s, index (moov) last, as ffmpeg writes without faststart
#   MOV   the same in a QuickTime file
#   PNG   screenshots, phone and desktop sizes
#   AVI   Motion JPEG + PCM films
#   WAV   voice recorder sound, 48 kHz stereo
# History:
#   deleted    the files copied (mcopy) until about 80 % of the card is used; every other one
#              deleted; new files then written over about half of the space freed (mtools takes
#              the first free clusters, so they fill the holes, overwrite some of the deleted
#              files and are split across holes themselves); every third new one deleted.
#   formatted  the same first files copied, then the card quick-formatted (mkfs.fat again,
#              without -C): the file system is new, the data is all still there.
#
# Manifest, one file a line: card-path sha256 size kind state sector first
#   state   live, deleted or formatted (gone from the file system)
#   sector  the image sector where the file's bytes lie whole and in one piece (searched at every
#           cluster start), or - when they do not (overwritten, or split)
#   first   the sector that holds the file's first cluster, whole or not, or - when it is gone
#
# FILES_DIR=DIR keeps the files made there and takes files already there instead of making them
# again (the bench makes both histories from one set). Files are the same from run to run where
# the tools allow it (fixed seeds, SOURCE_DATE_EPOCH, ffmpeg's bitexact flags).
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ] || { [ $# -eq 2 ] && [ "$2" != deleted ] && [ "$2" != formatted ]; }; then
  echo "usage: $0 OUT.img [deleted|formatted]" >&2
  exit 1
fi
out=$1 history=${2:-deleted}
root=$(cd "$(dirname "$0")/.." && pwd)
for tool in convert exiftool ffmpeg heif-enc mcopy mdel mkfs.fat python3; do
  command -v "$tool" >/dev/null || { echo "$0: $tool is missing; run tools/setup.sh" >&2; exit 2; }
done

export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-1717200000}
export TZ=UTC MTOOLS_SKIP_CHECK=1 LC_ALL=C
size_mib=1024 cluster=4096 folder=DCIM/100MEDIA

work=$(mktemp -d "${TMPDIR:-/tmp}/today-card.XXXXXX")
trap 'rm -rf "$work"' EXIT
files=${FILES_DIR:-$work/files}
mkdir -p "$files"
img=$work/card.img

# The kind of the n-th file taken: runs of odd lengths, so that both the kept and the deleted
# ones (every other) hold every kind.
kind_of() {  # n
  local n=$1
  if [ $((n % 9)) -eq 4 ]; then echo mp4
  elif [ $((n % 7)) -eq 2 ]; then echo heic
  elif [ $((n % 11)) -eq 6 ]; then echo png
  elif [ $((n % 13)) -eq 9 ]; then echo wav
  elif [ $((n % 15)) -eq 12 ]; then echo avi
  elif [ $((n % 17)) -eq 3 ]; then echo mov
  else
    # In pairs, so that each JPEG kind is both kept and deleted.
    case $(((n / 2) % 4)) in 0) echo jpeg-jfif ;; 1) echo jpeg-exif ;; 2) echo jpeg-bare ;; 3) echo jpeg-jfif-exif ;; esac
  fi
}

name_of() {  # n kind
  case $2 in
    jpeg*) printf 'IMG_%04d.JPG' "$1" ;;
    heic) printf 'IMG_%04d.HEIC' "$1" ;;
    mov) printf 'IMG_%04d.MOV' "$1" ;;
    mp4) printf 'VID_%04d.MP4' "$1" ;;
    png) printf 'SCR_%04d.PNG' "$1" ;;
    avi) printf 'MVI_%04d.AVI' "$1" ;;
    wav) printf 'REC_%04d.WAV' "$1" ;;
  esac
}

# Makes file n of its kind as OUT (through OUT.part, so that a file cut short is never taken).
# Run by xargs in a shell of its own, hence exported.
make_one() {  # n kind out
  local n=$1 kind=$2 out=$3 part=$3.part tmp
  [ -f "$out" ] && return 0
  tmp=$(mktemp -d "${TMPDIR:-/tmp}/today-file.XXXXXX")
  local ff=(ffmpeg -v error -y -nostdin) bitexact=(-fflags +bitexact -flags:v +bitexact -flags:a +bitexact -map_metadata -1)
  local secs=$((4 + n % 5)) when
  when=$(date -u -d "@$((SOURCE_DATE_EPOCH + n * 600))" '+%Y:%m:%d %H:%M:%S')
  case $kind in
    jpeg*)
      local dims=(3456x2592 4000x3000 4608x3456 5472x3648)
      convert -size "${dims[$(((n / 3) % 4))]}" xc:gray -seed "$n" +noise Random -quality 92 "$part.jpg"
      if [ "$kind" != jpeg-jfif-exif ] && [ "$kind" != jpeg-jfif ]; then
        exiftool -q -overwrite_original -JFIF:all= "$part.jpg"
      fi
      if [ "$kind" = jpeg-exif ] || [ "$kind" = jpeg-jfif-exif ]; then
        convert -size 160x120 xc:gray -seed "$n" +noise Random -quality 80 -strip "$tmp/thumb.jpg"
        exiftool -q -overwrite_original -Make=Apple "-Model=iPhone 13" "-DateTimeOriginal=$when" \
          "-ThumbnailImage<=$tmp/thumb.jpg" "$part.jpg"
      fi
      mv "$part.jpg" "$part" ;;
    heic)
      convert -size 2016x1512 xc:gray -seed "$n" +noise Random -blur 0x1 -resize '4032x3024!' -quality 95 "$tmp/in.jpg"
      heif-enc -q 75 -t 320 -p preset=ultrafast "$tmp/in.jpg" -o "$tmp/out.heic" >/dev/null
      mv "$tmp/out.heic" "$part" ;;
    mp4 | mov)
      local format=mp4
      if [ "$kind" = mov ]; then format=mov; fi
      "${ff[@]}" -f lavfi -i "testsrc2=size=1920x1080:rate=30:duration=$secs" \
        -f lavfi -i "sine=frequency=$((220 + n * 10)):duration=$secs" -vf "noise=alls=12:allf=t+u:all_seed=$n" \
        -c:v libx264 -preset ultrafast -crf 26 -pix_fmt yuv420p -c:a aac -b:a 128k "${bitexact[@]}" \
        -f "$format" "$part" ;;
    png)
      local size=1170x2532
      if [ $((n % 2)) -eq 0 ]; then size=2560x1440; fi
      convert -size "$size" gradient:navy-orange -seed "$n" -attenuate 0.15 +noise Uniform -depth 8 -strip \
        -define png:exclude-chunks=date,time "png:$part" ;;
    avi)
      secs=$((3 + (n / 15) % 4))  # every AVI number is 12 modulo 15
      "${ff[@]}" -f lavfi -i "testsrc2=size=1280x720:rate=25:duration=$secs" \
        -f lavfi -i "sine=frequency=$((330 + n * 10)):duration=$secs" -vf "noise=alls=6:allf=t+u:all_seed=$n" \
        -c:v mjpeg -q:v 4 -pix_fmt yuvj420p -c:a pcm_s16le "${bitexact[@]}" -f avi "$part" ;;
    wav)
      "${ff[@]}" -f lavfi -i "anoisesrc=color=pink:seed=$n:duration=$((secs * 6)):sample_rate=48000:amplitude=0.3" \
        -ac 2 -c:a pcm_s16le "${bitexact[@]}" -f wav "$part" ;;
  esac
  rm -rf "$tmp"
  touch -d "@$((SOURCE_DATE_EPOCH + n * 600))" "$part"
  mv "$part" "$out"
}
export -f make_one

# Makes files first..last, two at a time.
make_batch() {  # first last
  local n kind
  for n in $(seq "$1" "$2"); do
    kind=$(kind_of "$n")
    echo "$n $kind $files/$(name_of "$n" "$kind")"
  done | xargs -P 2 -L 1 bash -c 'make_one "$@"' make_one
}

free_bytes() {
  mdir -i "$img" :: | sed -n 's/ bytes free//p' | tr -d ' '
}

on_card() {  # file: bytes it takes on the card
  echo $((($(stat -c %s "$1") + cluster - 1) / cluster * cluster))
}

# Takes files from number next on while they fit in budget bytes; sets taken=(numbers), next.
take_files() {  # budget
  local budget=$1 used=0 n f need
  taken=()
  while :; do
    make_batch "$next" "$((next + 9))"
    for n in $(seq "$next" "$((next + 9))"); do
      f=$files/$(name_of "$n" "$(kind_of "$n")")
      need=$(on_card "$f")
      if [ $((used + need)) -gt "$budget" ]; then next=$n; return; fi
      used=$((used + need))
      taken+=("$n")
    done
    next=$((next + 10))
  done
}

copy_files() {  # numbers...
  local n paths=()
  for n in "$@"; do paths+=("$files/$(name_of "$n" "$(kind_of "$n")")"); done
  mcopy -m -i "$img" "${paths[@]}" "::$folder/"
}

delete_files() {  # numbers...
  local n paths=()
  for n in "$@"; do paths+=("::$folder/$(name_of "$n" "$(kind_of "$n")")"); done
  mdel -i "$img" "${paths[@]}"
}

format_card() {
  mkfs.fat -F 32 -S 512 -s $((cluster / 512)) -n TODAYCARD --invariant "$img" >/dev/null
}

head -c $((size_mib * 1024 * 1024)) /dev/zero >"$img"
format_card
mmd -i "$img" ::DCIM "::$folder"

declare -A state=()
next=1
take_files $(($(free_bytes) * 8 / 10))
first=("${taken[@]}")
copy_files "${first[@]}"
for n in "${first[@]}"; do state[$n]=live; done

if [ "$history" = formatted ]; then
  format_card  # without -C: the same file, the same layout, a new file system
  for n in "${first[@]}"; do state[$n]=formatted; done
  summary="${#first[@]} files written, then the card quick-formatted"
else
  before=$(free_bytes)
  gone=()
  for ((i = 1; i < ${#first[@]}; i += 2)); do gone+=("${first[$i]}"); done
  delete_files "${gone[@]}"
  for n in "${gone[@]}"; do state[$n]=deleted; done
  freed=$(($(free_bytes) - before))
  # mtools would go on after the last cluster it gave out (the FSInfo hint); "unknown" makes it
  # take the first free cluster, as a camera does.
  fsinfo=$(od -An -tu2 -j48 -N2 "$img" | tr -d ' ')
  printf '\377\377\377\377' | dd of="$img" bs=1 seek=$((fsinfo * 512 + 492)) conv=notrunc status=none
  take_files $((freed * 55 / 100))
  second=("${taken[@]}")
  copy_files "${second[@]}"
  for n in "${second[@]}"; do state[$n]=live; done
  gone2=()
  for ((i = 2; i < ${#second[@]}; i += 3)); do gone2+=("${second[$i]}"); done
  delete_files "${gone2[@]}"
  for n in "${gone2[@]}"; do state[$n]=deleted; done
  summary="${#first[@]} files written, ${#gone[@]} deleted, ${#second[@]} new ones written, ${#gone2[@]} of them deleted"
fi

# Where each file still lies whole on the card.
list=$work/list
for n in $(printf '%s\n' "${!state[@]}" | sort -n); do
  kind=$(kind_of "$n") name=$(name_of "$n" "$(kind_of "$n")")
  echo "$folder/$name $files/$name $kind ${state[$n]}"
done >"$list"
python3 "$root/bench/card-files.py" locate "$img" "$list" >"$work/manifest"

mkdir -p "$(dirname "$out")"
mv "$work/manifest" "$out.manifest"
mv "$img" "$out.tmp.$$"
mv "$out.tmp.$$" "$out"
intact=$(awk '!/^#/ && $5 != "live" && $6 != "-"' "$out.manifest" | wc -l)
echo "$out: $size_mib MiB FAT32 card, $history: $summary; $intact gone files lie whole on it"
