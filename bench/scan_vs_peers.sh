#!/usr/bin/env bash
# Times the scan method against the least a full recovery needs (cp, cat) and against PhotoRec
# and foremost, on two page-cached 512 MiB card images: one full of photos, one mostly empty.
#
#   bench/scan_vs_peers.sh [RUNS]        (default 3 timed runs per tool and image)
#
# The images are made once and kept in build/bench/ (BUILD_DIR overrides build/); they are
# remade when their generator changes. All outputs go to build/bench/out/, on the same disk as
# the images, and are cleared (and synced) before every run. Needs hyperfine, testdisk (PhotoRec)
# and foremost: tools/setup.sh --bench installs them.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
runs=${1:-3}
benchdir=$build/bench
out=$benchdir/out
cli=$build/quorvane-cli
export BUILD_DIR=$build LC_ALL=C

command -v hyperfine >/dev/null || { echo "$0: hyperfine is missing; run tools/setup.sh --bench" >&2; exit 2; }
mkdir -p "$benchdir" "$out"
export TMPDIR=$benchdir/tmp  # the scan method stages its files here, on the output disk too
mkdir -p "$TMPDIR"

# Makes KIND.img unless the copy in build/bench came from the same generator.
card_image() {  # kind
  local img=$benchdir/$1.img stamp
  stamp=$(cat "$root/bench/make-bench-card.sh" "$root/tools/make_photo.cpp" | sha256sum | cut -c1-16)
  if [ ! -f "$img" ] || [ "$(cat "$img.stamp" 2>/dev/null)" != "$stamp" ]; then
    "$root/bench/make-bench-card.sh" "$1" "$img" >&2
    echo "$stamp" >"$img.stamp"
  fi
  echo "$img"
}

count_files() {  # dir [name to leave out]
  find "$1" -type f ! -name "${2:-/}" 2>/dev/null | wc -l
}

# One tool on one image: prints "median min stddev files", or "- - - note" when it cannot run.
# The median rather than the mean: on a shared machine one disturbed run should not decide.
time_tool() {  # tool image
  local tool=$1 img=$2 dir=$out/$1 cmd csv=$out/$1.csv files
  case $tool in
    cp) cmd="cp '$img' '$dir/card.img'" ;;
    cat) cmd="cat '$img' > /dev/null" ;;
    scan)
      [ -x "$cli" ] || { echo "- - - not-built"; return; }
      cmd="'$cli' recover '$img' --method scan --dest '$dir' --prefix image --json > '$out/scan.json'" ;;
    photorec)
      command -v photorec >/dev/null || { echo "- - - not-installed"; return; }
      # Whole disk, no partition table, every file type, the whole space rather than only the
      # free clusters: the same ground the scan method covers.
      cmd="cd '$dir' && photorec /d '$dir/recup' /cmd '$img' partition_none,fileopt,everything,enable,wholespace,search > /dev/null" ;;
    foremost)
      command -v foremost >/dev/null || { echo "- - - not-installed"; return; }
      cmd="foremost -i '$img' -o '$dir/found' > /dev/null" ;;
  esac
  # The quick ones get a warm-up run, so that no run pays for a first-time cost.
  local warmup=0
  case $tool in cp|cat|scan) warmup=1 ;; esac
  if ! hyperfine --runs "$runs" --warmup "$warmup" --style none --export-csv "$csv" \
      --prepare "rm -rf '$dir' && mkdir -p '$dir' && sync" -n "$tool" "$cmd" >"$out/$tool.log" 2>&1; then
    echo "- - - failed(see $out/$tool.log)"
    return
  fi
  case $tool in
    cp|scan) files=$(count_files "$dir") ;;
    cat) files=- ;;
    photorec) files=$(count_files "$dir" report.xml) ;;
    foremost) files=$(count_files "$dir" audit.txt) ;;
  esac
  # hyperfine's columns: command, mean, stddev, median, user, system, min, max
  awk -F, -v f="$files" 'NR == 2 { printf "%.3f %.3f %.3f %s\n", $4, $7, $3, f }' "$csv"
}

ratio() {  # numerator denominator
  awk -v a="$1" -v b="$2" 'BEGIN { if (a == "-" || b == "-" || b == 0) print "-"; else printf "%.2f", a / b }'
}

tools=(cp cat scan photorec foremost)
for kind in full empty; do
  img=$(card_image "$kind")
  cat "$img" >/dev/null  # page-cache the image: every tool then reads it from memory
  declare -A median=() min=() sd=() files=()
  for t in "${tools[@]}"; do
    echo "timing $t on the $kind card ..." >&2
    read -r "median[$t]" "min[$t]" "sd[$t]" "files[$t]" < <(time_tool "$t" "$img")
  done
  rm -rf "$out"/cp  # no need to keep a copy of the image
  echo
  echo "$kind card: $(basename "$img"), $(($(stat -c %s "$img") / 1048576)) MiB, $runs runs each"
  printf '  %-9s %9s %8s %8s  %s\n' tool "median s" "min s" "± s" files
  for t in "${tools[@]}"; do
    printf '  %-9s %9s %8s %8s  %s\n' "$t" "${median[$t]}" "${min[$t]}" "${sd[$t]}" "${files[$t]}"
  done
  s=${median[scan]}
  echo "  medians: scan/cp $(ratio "$s" "${median[cp]}") (target <= 1.5)" \
    " scan/cat $(ratio "$s" "${median[cat]}")" \
    " scan/photorec $(ratio "$s" "${median[photorec]}") (target < 1)" \
    " scan/foremost $(ratio "$s" "${median[foremost]}") (target < 1)"
  unset median min sd files
done
