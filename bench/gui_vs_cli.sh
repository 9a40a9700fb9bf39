#!/usr/bin/env bash
# The scan method through the desktop window against the same run from the command line, on a
# 1 GiB card image full of photos. Target: the window's run takes at most 1.1 x as long.
#
#   bench/gui_vs_cli.sh [RUNS]        # default 3 runs each; BUILD_DIR picks the build (./build)
#
# The window's time runs from Continue in the analysis dialog to the end of the Start command
# (the files saved with "Save Images"), with the preview window shown beside it; the command
# line's is the whole `quorvane-cli recover --method scan`. Both save into build/bench/gui-out/
# (the same disk), emptied before every run. The image is two bench cards (make-bench-card.sh
# full) one after the other, made once and kept.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
runs=${1:-3}
bench=$build/bench
img=$bench/gui-1g.img
out=$bench/gui-out

cmake --build "$build" --target quorvane-cli gui-run-timer make-photo >/dev/null
mkdir -p "$bench"
if [ ! -f "$img" ]; then
  [ -f "$bench/full.img" ] || BUILD_DIR=$build "$root/bench/make-bench-card.sh" full "$bench/full.img"
  cat "$bench/full.img" "$bench/full.img" > "$img.part"
  mv "$img.part" "$img"
fi
cat "$img" > /dev/null  # into the page cache, as for every row

clean() { rm -rf "$out"; mkdir -p "$out"; sync; }
cli=() gui=()
for i in $(seq 1 "$runs"); do
  clean
  start=$(date +%s.%N)
  "$build/quorvane-cli" recover "$img" --method scan --dest "$out" --prefix image >/dev/null 2>&1
  cli+=("$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN {printf "%.3f", b - a}')")
  files_cli=$(ls "$out" | wc -l)
  clean
  gui+=("$(QT_QPA_PLATFORM=offscreen "$build/bench/gui-run-timer" "$img" "$out" 2>/dev/null)")
  files_gui=$(ls "$out" | wc -l)
  if [ "$files_cli" != "$files_gui" ]; then
    echo "the window saved $files_gui files, the command line $files_cli" >&2
    exit 1
  fi
done
rm -rf "$out"

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
fastest() { printf '%s\n' "$@" | sort -g | head -n 1; }
c=$(median "${cli[@]}") g=$(median "${gui[@]}")
cmin=$(fastest "${cli[@]}") gmin=$(fastest "${gui[@]}")
printf 'image: %s (%s files)\n' "$img" "$files_cli"
printf 'command line: median %s s, fastest %s s (runs: %s)\n' "$c" "$cmin" "${cli[*]}"
printf 'window:       median %s s, fastest %s s (runs: %s)\n' "$g" "$gmin" "${gui[*]}"
# Writing a gigabyte of staged files costs the kernel very different times from one run to the
# next on some machines; the fastest runs are the ones that this disturbed least.
printf 'window / command line: medians %s, fastest runs %s (target at most 1.10)\n' \
  "$(awk -v g="$g" -v c="$c" 'BEGIN {printf "%.3f", g / c}')" \
  "$(awk -v g="$gmin" -v c="$cmin" 'BEGIN {printf "%.3f", g / c}')"
