#!/usr/bin/env bash
# Times the folder based method against The Sleuth Kit's tsk_recover on a page-cached exFAT card
# image with many deleted photos, and counts the files each recovered and how many of them are
# byte for byte one of the photos put on the card.
#
#   bench/exfat_vs_tsk.sh [RUNS]        (default 5 timed runs per command; needs root)
#
# Rows:
#   folder   quorvane-cli recover IMAGE --method folder --deleted --no-lost --dest OUT --json
#   folder-nc  the same with --no-check: the file system's part alone, without the content checks
#   tsk -e   tsk_recover -e IMAGE OUT    (allocated and deleted files)
#   tsk      tsk_recover IMAGE OUT       (deleted files only: the same job as the folder row)
#
# The card (256 MiB, 32 KiB clusters, as SD cards come) is written through exfat-fuse on a loop
# device, the way a camera fills a card: 120 photos of 3 and 5 megapixels in two sessions, 48
# deleted after the first and 12 after the second, so that the second session's photos fill
# (and split across) the room the deletions freed. It is made once and kept in BUILD_DIR/bench
# (default build/bench) with its manifest ("NAME SHA256 live|deleted"). Needs hyperfine, sleuthkit,
# exfatprogs, exfat-fuse and build/make-photo.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
runs=${1:-5}
benchdir=$build/bench
out=$benchdir/exfat-out
cli=$build/quorvane-cli
photo=$build/make-photo
export LC_ALL=C TZ=UTC

for tool in hyperfine tsk_recover mkfs.exfat mount.exfat-fuse losetup; do
  command -v "$tool" >/dev/null || { echo "$0: $tool is missing; run tools/setup.sh --bench" >&2; exit 2; }
done
[ "$(id -u)" -eq 0 ] || { echo "$0: making the card needs root (losetup, FUSE)" >&2; exit 2; }
[ -x "$cli" ] || { echo "$0: $cli is missing; build the quorvane-cli target" >&2; exit 2; }
if [ ! -x "$photo" ]; then cmake --build "$build" --target make-photo >/dev/null; fi
mkdir -p "$benchdir" "$out"
export TMPDIR=$benchdir/tmp
mkdir -p "$TMPDIR"

img=$benchdir/exfat-256.img
manifest=$img.manifest
deleted() {  # number: whether the owner deleted the photo
  if [ "$1" -le 80 ]; then
    case $(($1 % 5)) in 1|2|4) return 0 ;; esac
  else
    case $(($1 % 10)) in 1|4|7) return 0 ;; esac
  fi
  return 1
}
make_card() {
  local photos=$benchdir/exfat-photos mnt loop i name dims=("2048 1536" "2592 1944")
  mkdir -p "$photos"
  for i in $(seq 1 120); do
    name=$(printf 'IMG_%04d.JPG' "$i")
    [ -f "$photos/$name" ] && continue
    # shellcheck disable=SC2086
    "$photo" --out "$photos/$name" --seed "$((700 + i))" --width ${dims[$((i % 2))]% *} \
      --height ${dims[$((i % 2))]#* } --quality 88 $([ $((i % 2)) -eq 1 ] && echo --exif)
  done
  rm -f "$img" "$manifest"
  truncate -s 256M "$img"
  mkfs.exfat -c 32K -L CAMERA "$img" >/dev/null
  mnt=$(mktemp -d)
  loop=$(losetup -f --show "$img")
  mount.exfat-fuse "$loop" "$mnt" >/dev/null
  mkdir -p "$mnt/DCIM/100CAMRA" "$mnt/DCIM/101CAMRA"
  for i in $(seq 1 80); do cp "$photos/$(printf 'IMG_%04d.JPG' "$i")" "$mnt/DCIM/100CAMRA/"; done
  for i in $(seq 1 80); do deleted "$i" && rm "$mnt/DCIM/100CAMRA/$(printf 'IMG_%04d.JPG' "$i")"; done
  for i in $(seq 81 120); do cp "$photos/$(printf 'IMG_%04d.JPG' "$i")" "$mnt/DCIM/101CAMRA/"; done
  for i in $(seq 81 120); do deleted "$i" && rm "$mnt/DCIM/101CAMRA/$(printf 'IMG_%04d.JPG' "$i")"; done
  umount "$mnt"
  losetup -d "$loop"
  rmdir "$mnt"
  for i in $(seq 1 120); do
    name=$(printf 'IMG_%04d.JPG' "$i")
    echo "$name $(sha256sum <"$photos/$name" | cut -c1-64) $(deleted "$i" && echo deleted || echo live)"
  done >"$manifest"
}
[ -f "$img" ] && [ -f "$manifest" ] || make_card

command_of() {  # row image dir
  case $1 in
    folder) echo "'$cli' recover '$2' --method folder --deleted --no-lost --dest '$3' --json > '$out/folder.json'" ;;
    folder-nc) echo "'$cli' recover '$2' --method folder --deleted --no-lost --no-check --dest '$3' > /dev/null" ;;
    tsk-e) echo "tsk_recover -e '$2' '$3' > /dev/null" ;;
    tsk) echo "tsk_recover '$2' '$3' > /dev/null" ;;
  esac
}

# "files exact-deleted exact-live" of an output folder against the manifest.
matches() {  # dir
  local hashes
  hashes=$(mktemp)
  find "$1" -type f ! -name recovery-report.json -exec sha256sum {} + | cut -c1-64 | sort >"$hashes"
  printf '%s %s %s\n' "$(wc -l <"$hashes")" \
    "$(awk '$3 == "deleted" { print $2 }' "$manifest" | sort -u | comm -12 - "$hashes" | wc -l)" \
    "$(awk '$3 == "live" { print $2 }' "$manifest" | sort -u | comm -12 - "$hashes" | wc -l)"
  rm -f "$hashes"
}

rows=(folder folder-nc tsk-e tsk)
cat "$img" >/dev/null  # page-cache the card: every run reads it from memory
declare -A median=() min=() files=() exdel=() exlive=()
for r in "${rows[@]}"; do
  echo "timing $r ..." >&2
  dir=$out/$r
  hyperfine --runs "$runs" --warmup 1 --style none --export-csv "$out/$r.csv" \
    --prepare "rm -rf '$dir' '$TMPDIR'/* && mkdir -p '$dir' && sync" -n "$r" "$(command_of "$r" "$img" "$dir")" \
    >"$out/$r.log" 2>&1 || { echo "$0: $r failed, see $out/$r.log" >&2; exit 1; }
  read -r "median[$r]" "min[$r]" < <(awk -F, 'NR == 2 { printf "%.3f %.3f\n", $4, $7 }' "$out/$r.csv")
  read -r "files[$r]" "exdel[$r]" "exlive[$r]" < <(matches "$dir")
done

total=$(wc -l <"$manifest")
gone=$(grep -c ' deleted$' "$manifest")
echo
echo "card: $(basename "$img"), 256 MiB exFAT of 32 KiB clusters, $total photos of which $gone deleted;" \
  "$runs runs each, page cache warm"
printf '  %-9s %9s %8s %6s %14s %11s\n' row "median s" "min s" files "exact deleted" "exact live"
for r in "${rows[@]}"; do
  printf '  %-9s %9s %8s %6s %14s %11s\n' "$r" "${median[$r]}" "${min[$r]}" "${files[$r]}" "${exdel[$r]}/$gone" \
    "${exlive[$r]}/$((total - gone))"
done
ratio() {  # numerator denominator
  awk -v a="$1" -v b="$2" 'BEGIN { if (b == 0) print "-"; else printf "%.2f", a / b }'
}
echo "  time (medians): folder/tsk-e $(ratio "${median[folder]}" "${median[tsk-e]}") (target <= 1)," \
  "folder/tsk $(ratio "${median[folder]}" "${median[tsk]}")," \
  "folder-nc/tsk $(ratio "${median[folder-nc]}" "${median[tsk]}")"
rm -rf "${out:?}"/folder "${out:?}"/folder-nc "${out:?}"/tsk-e "${out:?}"/tsk "${TMPDIR:?}"/*
