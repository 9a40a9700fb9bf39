#!/usr/bin/env bash
# Times Quorvane's scan method, its combined run and the scan without the content check against
# PhotoRec and foremost on a page-cached 1 GiB card of today's files (JPEG with and without Exif,
# HEIC, MP4, MOV, PNG, AVI, WAV), in two histories: files deleted and partly overwritten, and a
# quick-formatted card. Counts for each tool the files it wrote and how many of them are byte for
# byte a file of the card, above all the files gone from the file system that still lie whole on
# it (the ones a carver can give back).
#
#   bench/carving_vs_peers.sh [RUNS]        (default 3 timed runs per row and card)
#
# Rows, each followed by `sync -f` of its output folder so that every row pays for writing its
# files out:
#   scan       quorvane-cli recover IMAGE --method scan --dest OUT --json
#   combined   quorvane-cli recover IMAGE --dest OUT --json   (the default: folder based, then scan)
#   no-check   quorvane-cli recover IMAGE --method scan --no-check --dest OUT --json
#   photorec   photorec over the whole space, every file type (as in scan_vs_peers.sh)
#   foremost   foremost -q -i IMAGE -o OUT   (quick mode: headers at sector starts only, where
#              every file of a FAT card starts; its default mode looks at every byte, takes five
#              times as long here and gives back the same files of the card, with more fragments)
#   cp         cp IMAGE OUT: the floor, the least that reading the card and writing it out costs
#
# The cards are made once by bench/make-today-card.sh and kept in BUILD_DIR/bench (default
# build/bench) with their manifests and the files they were made from (today-files/); they are
# remade when the generator or bench/card-files.py changes. Outputs go to
# BUILD_DIR/bench/carving-out/, cleared and synced before every run; Quorvane stages its files in
# BUILD_DIR/bench/tmp, on the same disk. Needs hyperfine, testdisk (PhotoRec) and foremost
# (tools/setup.sh --bench), and for the cards ImageMagick, exiftool, ffmpeg, heif-enc, mtools and
# dosfstools (tools/setup.sh).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
runs=${1:-3}
benchdir=$build/bench
out=$benchdir/carving-out
cli=$build/quorvane-cli
score=$root/bench/card-files.py
export BUILD_DIR=$build LC_ALL=C

for tool in hyperfine photorec foremost python3; do
  command -v "$tool" >/dev/null || { echo "$0: $tool is missing; run tools/setup.sh --bench" >&2; exit 2; }
done
[ -x "$cli" ] || { echo "$0: $cli is missing; build the quorvane-cli target" >&2; exit 2; }
mkdir -p "$benchdir" "$out"
export TMPDIR=$benchdir/tmp
mkdir -p "$TMPDIR"

# Makes today-HISTORY.img unless the copy in BUILD_DIR/bench came from the same generator. The
# files on the cards are kept in today-files/ and made again only when the generator changes.
card_image() {  # history
  local img=$benchdir/today-$1.img stamp
  stamp=$(cat "$root/bench/make-today-card.sh" "$score" | sha256sum | cut -c1-16)
  if [ ! -f "$img" ] || [ "$(cat "$img.stamp" 2>/dev/null)" != "$stamp" ]; then
    if [ "$(cat "$benchdir/today-files.stamp" 2>/dev/null)" != "$stamp" ]; then
      rm -rf "$benchdir/today-files"
      echo "$stamp" >"$benchdir/today-files.stamp"
    fi
    echo "making the $1 card (a few minutes the first time) ..." >&2
    FILES_DIR=$benchdir/today-files "$root/bench/make-today-card.sh" "$img" "$1" >&2
    echo "$stamp" >"$img.stamp"
  fi
  echo "$img"
}

command_of() {  # row image dir
  case $1 in
    scan) echo "'$cli' recover '$2' --method scan --dest '$3' --json > '$out/scan.json'" ;;
    combined) echo "'$cli' recover '$2' --dest '$3' --json > '$out/combined.json'" ;;
    no-check) echo "'$cli' recover '$2' --method scan --no-check --dest '$3' --json > '$out/no-check.json'" ;;
    # Whole disk, no partition table, every file type, the whole space rather than only the free
    # clusters: the same ground the scan method covers.
    photorec) echo "cd '$3' && photorec /d '$3/recup' /cmd '$2' partition_none,fileopt,everything,enable,wholespace,search > /dev/null" ;;
    foremost) echo "foremost -q -i '$2' -o '$3/found' > /dev/null" ;;
    cp) echo "cp '$2' '$3/card.img'" ;;
  esac
}

ratio() {  # numerator denominator
  awk -v a="$1" -v b="$2" 'BEGIN { if (a == "-" || b == "-" || b == 0) print "-"; else printf "%.2f", a / b }'
}

rows=(scan combined no-check photorec foremost cp)
for history in deleted formatted; do
  img=$(card_image "$history")
  manifest=$img.manifest
  cat "$img" >/dev/null  # page-cache the card: every tool then reads it from memory
  declare -A median=() min=() sd=() files=() exact=() recov=() live=() whole=() damaged=() odd=() kinds=()
  for r in "${rows[@]}"; do
    echo "timing $r on the $history card ..." >&2
    dir=$out/$r
    warmup=0
    if [ "$r" = cp ]; then warmup=1; fi  # quick: a warm-up run costs little
    hyperfine --runs "$runs" --warmup "$warmup" --style none --export-csv "$out/$r.csv" \
      --prepare "rm -rf '$dir' '$TMPDIR'/* && mkdir -p '$dir' && sync" \
      -n "$r" "$(command_of "$r" "$img" "$dir") && sync -f '$dir'" >"$out/$r.log" 2>&1 ||
      { echo "$0: $r failed, see $out/$r.log" >&2; exit 1; }
    # hyperfine's columns: command, mean, stddev, median, user, system, min, max
    read -r "median[$r]" "min[$r]" "sd[$r]" < <(awk -F, 'NR == 2 { printf "%.2f %.2f %.2f\n", $4, $7, $3 }' "$out/$r.csv")
    if [ "$r" = cp ]; then
      files[$r]=- exact[$r]=- recov[$r]=- live[$r]=- whole[$r]=- damaged[$r]=- odd[$r]=-
    else
      report=()
      case $r in scan | combined | no-check) report=(--report "$out/$r.json") ;; esac
      {
        read -r "files[$r]" e g rc rt l lt "whole[$r]" "damaged[$r]" wn de
        read -r "kinds[$r]"
      } < <(python3 "$score" score "$manifest" "$dir" "${report[@]}" --found "$out/$r.found")
      exact[$r]=$e/$g recov[$r]=$rc/$rt live[$r]=$l/$lt odd[$r]="$wn $de"
    fi
    rm -rf "$dir"
  done

  total=$(grep -vc '^#' "$manifest")
  gone=$(awk '!/^#/ && $5 != "live"' "$manifest" | wc -l)
  lying=$(awk '!/^#/ && $5 != "live" && $6 != "-"' "$manifest" | wc -l)
  echo
  echo "$history card: $(basename "$img"), $(($(stat -c %s "$img") / 1048576)) MiB FAT32, $total files of which" \
    "$gone gone ($lying of them whole on the card); $runs runs each, page cache warm"
  printf '  %-9s %9s %7s %6s %6s %11s %12s %10s %6s %8s\n' row "median s" "min s" "± s" files "exact gone" \
    "exact recov" "exact live" whole damaged
  for r in "${rows[@]}"; do
    printf '  %-9s %9s %7s %6s %6s %11s %12s %10s %6s %8s\n' "$r" "${median[$r]}" "${min[$r]}" "${sd[$r]}" \
      "${files[$r]}" "${exact[$r]}" "${recov[$r]}" "${live[$r]}" "${whole[$r]}" "${damaged[$r]}"
  done
  s=${median[scan]} n=${median[no-check]}
  echo "  content check: scan/no-check $(ratio "$s" "$n")" \
    "($(awk -v a="$s" -v b="$n" 'BEGIN { printf "%+.2f", a - b }') s)"
  echo "  medians: scan/cp $(ratio "$s" "${median[cp]}"), combined/cp $(ratio "${median[combined]}" "${median[cp]}")," \
    "scan/photorec $(ratio "$s" "${median[photorec]}"), scan/foremost $(ratio "$s" "${median[foremost]}")"
  for r in scan combined; do
    read -r wn de <<<"${odd[$r]}"
    echo "  $r: $wn files called whole are no file of the card, $de called damaged are one"
  done
  echo "  exact of those lying whole, by kind:"
  for r in "${rows[@]}"; do
    if [ "$r" != cp ]; then printf '    %-9s %s\n' "$r" "${kinds[$r]}"; fi
  done
  # Card files a peer gave back byte for byte and a Quorvane row did not: kind, state, first sector.
  for r in scan combined; do
    missed=$(sort -u "$out/photorec.found" "$out/foremost.found" | comm -23 - <(sort "$out/$r.found"))
    if [ -n "$missed" ]; then
      echo "  found by photorec or foremost, not by $r:"
      while read -r path; do
        by=$(for p in photorec foremost; do if grep -qxF "$path" "$out/$p.found"; then printf '%s ' "$p"; fi; done)
        awk -v p="$path" -v by="${by% }" '$1 == p {
          printf "    %s %s %s, %s at sector %s (%s)\n", $1, $4, $5, $6 == "-" ? "split" : "whole", $7, by }' "$manifest"
      done <<<"$missed"
    fi
  done
  unset median min sd files exact recov live whole damaged odd kinds
done
rm -rf "${TMPDIR:?}"/*
