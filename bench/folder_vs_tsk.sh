#!/usr/bin/env bash
# Times the folder based method against The Sleuth Kit's tsk_recover on a page-cached FAT32 card
# image with many deleted photos, measures peak memory, and counts the files that each recovered
# and how many of them are byte for byte one of the photos put on the card.
#
#   bench/folder_vs_tsk.sh [RUNS]        (default 5 timed runs per command)
#
# Rows:
#   folder   quorvane-cli recover IMAGE --method folder --deleted --no-lost --dest OUT --json
#   tsk -e   tsk_recover -e IMAGE OUT    (allocated and deleted files)
#   tsk      tsk_recover IMAGE OUT       (deleted files only: the same job as the folder row)
#
# A second part measures peak memory of each on a card of 384 MiB and one of 4 GiB that hold the
# same photos: the folder based method's memory should not grow with the card beyond its bitmap of
# clusters.
#
# The cards are made once by bench/make-tsk-card.sh and kept in BUILD_DIR/bench (default
# build/bench) with the photos they hold. Outputs go to BUILD_DIR/bench/tsk-out/ and are cleared
# (and synced) before every run; the folder based method stages its files in BUILD_DIR/bench/tmp,
# on the same disk. Needs hyperfine, GNU time and sleuthkit: tools/setup.sh --bench.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
runs=${1:-5}
benchdir=$build/bench
out=$benchdir/tsk-out
cli=$build/quorvane-cli
export BUILD_DIR=$build LC_ALL=C

for tool in hyperfine tsk_recover /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "$0: $tool is missing; run tools/setup.sh --bench" >&2; exit 2; }
done
[ -x "$cli" ] || { echo "$0: $cli is missing; build the quorvane-cli target" >&2; exit 2; }
if [ ! -x "$build/make-photo" ]; then cmake --build "$build" --target make-photo >/dev/null; fi
mkdir -p "$benchdir" "$out"
export TMPDIR=$benchdir/tmp
mkdir -p "$TMPDIR"

# Makes the card of SIZE MiB unless the copy in BUILD_DIR/bench came from the same generator.
card_image() {  # size [--sparse]
  local img=$benchdir/tsk-$1.img stamp
  stamp=$(cat "$root/bench/make-tsk-card.sh" "$root/tools/make_photo.cpp" | sha256sum | cut -c1-16)
  if [ ! -f "$img" ] || [ "$(cat "$img.stamp" 2>/dev/null)" != "$stamp" ]; then
    if [ "$(cat "$benchdir/tsk-photos.stamp" 2>/dev/null)" != "$stamp" ]; then
      rm -rf "$benchdir/tsk-photos"
      echo "$stamp" >"$benchdir/tsk-photos.stamp"
    fi
    "$root/bench/make-tsk-card.sh" "$1" "$img" "$benchdir/tsk-photos" "${@:2}"
    echo "$stamp" >"$img.stamp"
  fi
  echo "$img"
}

command_of() {  # row image dir
  case $1 in
    folder) echo "'$cli' recover '$2' --method folder --deleted --no-lost --dest '$3' --json > '$out/folder.json'" ;;
    tsk-e) echo "tsk_recover -e '$2' '$3' > /dev/null" ;;
    tsk) echo "tsk_recover '$2' '$3' > /dev/null" ;;
  esac
}

# Peak resident memory of one run, in KiB (GNU time's "Maximum resident set size").
peak_kib() {  # row image
  local dir=$out/$1
  rm -rf "$dir" && mkdir -p "$dir"
  /usr/bin/time -v sh -c "$(command_of "$1" "$2" "$dir")" 2>"$out/$1.time" >/dev/null
  sed -n 's/.*Maximum resident set size (kbytes): //p' "$out/$1.time"
}

# "files exact-deleted exact-live" of an output folder against the card's manifest.
matches() {  # dir manifest
  local hashes
  hashes=$(mktemp)
  find "$1" -type f -exec sha256sum {} + | cut -c1-64 | sort >"$hashes"
  printf '%s %s %s\n' "$(wc -l <"$hashes")" \
    "$(awk '$3 == "deleted" { print $2 }' "$2" | sort -u | comm -12 - "$hashes" | wc -l)" \
    "$(awk '$3 == "live" { print $2 }' "$2" | sort -u | comm -12 - "$hashes" | wc -l)"
  rm -f "$hashes"
}

ratio() {  # numerator denominator
  awk -v a="$1" -v b="$2" 'BEGIN { if (a == "-" || b == "-" || b == 0) print "-"; else printf "%.2f", a / b }'
}

rows=(folder tsk-e tsk)
img=$(card_image 384)
manifest=$img.manifest
cat "$img" >/dev/null  # page-cache the card: every run reads it from memory
declare -A median=() min=() sd=() rss=() files=() exdel=() exlive=()
for r in "${rows[@]}"; do
  echo "timing $r ..." >&2
  dir=$out/$r
  hyperfine --runs "$runs" --warmup 1 --style none --export-csv "$out/$r.csv" \
    --prepare "rm -rf '$dir' '$TMPDIR'/* && mkdir -p '$dir' && sync" -n "$r" "$(command_of "$r" "$img" "$dir")" \
    >"$out/$r.log" 2>&1 || { echo "$0: $r failed, see $out/$r.log" >&2; exit 1; }
  # hyperfine's columns: command, mean, stddev, median, user, system, min, max
  read -r "median[$r]" "min[$r]" "sd[$r]" < <(awk -F, 'NR == 2 { printf "%.3f %.3f %.3f\n", $4, $7, $3 }' "$out/$r.csv")
  rss[$r]=$(peak_kib "$r" "$img")
  read -r "files[$r]" "exdel[$r]" "exlive[$r]" < <(matches "$out/$r" "$manifest")
done

total=$(wc -l <"$manifest")
gone=$(grep -c ' deleted$' "$manifest")
echo
echo "card: $(basename "$img"), $(($(stat -c %s "$img") / 1048576)) MiB FAT32, $total photos of which $gone deleted;" \
  "$runs runs each, page cache warm"
printf '  %-7s %9s %8s %8s %10s %6s %14s %11s\n' row "median s" "min s" "± s" "peak MiB" files \
  "exact deleted" "exact live"
for r in "${rows[@]}"; do
  printf '  %-7s %9s %8s %8s %10.1f %6s %14s %11s\n' "$r" "${median[$r]}" "${min[$r]}" "${sd[$r]}" \
    "$(awk -v k="${rss[$r]}" 'BEGIN { print k / 1024 }')" "${files[$r]}" "${exdel[$r]}/$gone" \
    "${exlive[$r]}/$((total - gone))"
done
echo "  time (medians): folder/tsk-e $(ratio "${median[folder]}" "${median[tsk-e]}") (target <= 1)," \
  "folder/tsk $(ratio "${median[folder]}" "${median[tsk]}")"
echo "  peak memory: folder/tsk-e $(ratio "${rss[folder]}" "${rss[tsk-e]}")," \
  "folder/tsk $(ratio "${rss[folder]}" "${rss[tsk]}")"

# Memory against the card's size: the same photos on a card ten times larger.
big=$(card_image 4096 --sparse)
echo
echo "peak memory (MiB) by card size, same photos:"
printf '  %-7s %10s %10s %8s\n' row "384 MiB" "4096 MiB" growth
for r in "${rows[@]}"; do
  small_kib=${rss[$r]}
  big_kib=$(peak_kib "$r" "$big")
  printf '  %-7s %10.1f %10.1f %8s\n' "$r" "$(awk -v k="$small_kib" 'BEGIN { print k / 1024 }')" \
    "$(awk -v k="$big_kib" 'BEGIN { print k / 1024 }')" \
    "$(awk -v a="$small_kib" -v b="$big_kib" 'BEGIN { printf "%+.1f", (b - a) / 1024 }')"
done
# One bit per cluster of 4 KiB, the most that the folder based method may add for a larger card.
echo "  cluster bitmap: $(awk 'BEGIN { printf "%.3f", (4096 - 384) * 256 / 8 / 1048576 }') MiB more on the larger card"
rm -rf "${out:?}"/folder "${out:?}"/tsk-e "${out:?}"/tsk "${TMPDIR:?}"/*
