#!/usr/bin/env bash
# The scan method through the desktop window against the same run from the command line, on a
# 1 GiB card image full of photos. Target: the window's run takes at most 1.1 x as long.
#
#   bench/gui_vs_cli.sh [ROUNDS]      # default 3 rounds; BUILD_DIR picks the build (./build)
#
# The window's time runs from Continue in the analysis dialog to the end of the Start command
# (the files saved with "Save Images"), with the preview window shown beside it; the command
# line's is the whole `quorvane-cli recover --method scan`. Both stage and save on the same disk,
# each run into a folder of its own under build/bench/gui-out/; the order of the two alternates
# from round to round. The image is two bench cards (make-bench-card.sh full) one after the
# other, made once and kept.
#
# The saved files are kept until the last run: on an ext4 volume without a journal, creating a
# file searches past every inode freed in the last 30 seconds, so deleting a run's gigabyte of
# files just before the next run would charge that next run for it, whichever program it is.
# This needs about 2.2 GB of free disk per round.
#
# Every run starts in the same state: the files of the runs before are written out and their
# pages dropped just before it (for the window, just before Continue), so each run writes into
# memory freed a moment ago. On a virtual machine that hands freed memory back to its host, a
# run that starts a second or two after memory was freed waits for the host to give it back,
# and the same command line run takes twice as long; without this the window, which starts its
# run after its analysis dialog, would always be the one to wait.
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

need=$(( (runs * 2 + 1) * $(stat -c %s "$img") / 1024 ))
free=$(df -Pk "$bench" | awk 'NR == 2 {print $4}')
if [ "$free" -lt "$need" ]; then
  echo "gui_vs_cli: $runs rounds need about $((need / 1048576)) GiB free beside $bench" >&2
  exit 1
fi
rm -rf "$out"
mkdir -p "$out/tmp"
trap 'rm -rf "$out"' EXIT
export TMPDIR=$out/tmp  # staging on the same disk as the saved files, for both

drop=("$root/bench/drop-file-cache.py" "$out")
run_cli() {
  local dest=$out/cli-$1 start
  mkdir "$dest"
  "${drop[@]}"
  start=$(date +%s.%N)
  "$build/quorvane-cli" recover "$img" --method scan --dest "$dest" --prefix image >/dev/null 2>&1
  cli+=("$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN {printf "%.3f", b - a}')")
  files_cli=$(ls "$dest" | wc -l)
}
run_gui() {
  local dest=$out/gui-$1
  mkdir "$dest"
  gui+=("$(QT_QPA_PLATFORM=offscreen "$build/bench/gui-run-timer" "$img" "$dest" --before-run "$(printf '%q ' "${drop[@]}")" 2>/dev/null)")
  files_gui=$(ls "$dest" | wc -l)
}
cli=() gui=()
run_cli warm-up  # so that the first counted run, too, has a run's pages to drop before it
cli=()
for i in $(seq 1 "$runs"); do
  if [ $((i % 2)) = 1 ]; then run_cli "$i"; run_gui "$i"; else run_gui "$i"; run_cli "$i"; fi
  if [ "$files_cli" != "$files_gui" ]; then
    echo "the window saved $files_gui files, the command line $files_cli" >&2
    exit 1
  fi
done

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
fastest() { printf '%s\n' "$@" | sort -g | head -n 1; }
c=$(median "${cli[@]}") g=$(median "${gui[@]}")
cmin=$(fastest "${cli[@]}") gmin=$(fastest "${gui[@]}")
printf 'image: %s (%s files)\n' "$img" "$files_cli"
printf 'command line: median %s s, fastest %s s (runs: %s)\n' "$c" "$cmin" "${cli[*]}"
printf 'window:       median %s s, fastest %s s (runs: %s)\n' "$g" "$gmin" "${gui[*]}"
# Writing a gigabyte of staged files costs the kernel very different times from one run to the
# next on some machines (on a virtual machine, mostly for memory the host must hand back); the
# two runs of a round follow each other, so the ratio within a round is the steadiest figure.
ratios=()
for i in "${!cli[@]}"; do ratios+=("$(awk -v g="${gui[$i]}" -v c="${cli[$i]}" 'BEGIN {printf "%.3f", g / c}')"); done
printf 'window / command line: median of the rounds %s (rounds: %s), medians %s (target at most 1.10)\n' \
  "$(median "${ratios[@]}")" "${ratios[*]}" "$(awk -v g="$g" -v c="$c" 'BEGIN {printf "%.3f", g / c}')"
