#!/usr/bin/env bash
# Times whole recoveries of a 4 GiB card against the floor of reading the card once and writing
# it out once (`cp` + `sync`), and against PhotoRec and foremost, on three kinds of storage:
#
#   ext4-warm  the card image on the build disk, in the page cache; output on the same disk
#   ext4-cold  the same with the page cache dropped before every run (echo 3 > drop_caches)
#   xfs        the image on an XFS file system with reflinks (mkfs.xfs -m reflink=1) mounted
#              through a loop device, output on it too: the kernel-side copies share the image's
#              blocks; every file Quorvane wrote is looked at with filefrag for shared extents
#   loop-cold  the image as a loop block device (read-only), page cache dropped before every run;
#              also dd of the device with and without O_DIRECT, the reads alone
#   loop-warm  the loop device with its page cache warm
#
#   sudo bench/recovery_vs_cp.sh [ROUNDS] [SETUP...]   (default 3 rounds, every setup)
#
# Every round runs each row once, in an order that turns by one row per round, so that rows meet
# the machine's moods alike; the figure to read is the median of the rounds. Before every run its
# output folder is emptied and synced; every row ends with `sync -f` of its folder, so that each
# pays for writing its files out. Rows:
#
#   cp         cp IMAGE OUT/card.img (on XFS this is a reflink: cp clones; see cp-copy)
#   cp-copy    cp --reflink=never IMAGE OUT/card.img (XFS only: the bytes written once)
#   scan       quorvane-cli recover IMAGE --method scan --dest OUT --json
#   no-check   the same with --no-check (no content check: JPEG decoding is left out)
#   folder     quorvane-cli recover IMAGE --method folder --deleted --no-lost --dest OUT --json
#   folder-nc  the same with --no-check
#   combined   quorvane-cli recover IMAGE --dest OUT --json (folder based, then the scan)
#   comb-nc    the same with --no-check
#   photorec   PhotoRec over the whole space, every file type (ext4 setups only)
#   foremost   foremost -q (ext4 setups only)
#
# The card is made once by SIZE_MIB=4096 bench/make-bench-card.sh full (about 1500 photos of 5 to
# 12 megapixels, every tenth deleted; half an hour on 2 busy cores) and kept in
# BUILD_DIR/bench/full-4096.img. Needs root (drop_caches, mount, losetup), hyperfine's friends
# from tools/setup.sh --bench (PhotoRec, foremost, xfsprogs) and the quorvane-cli target.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
rounds=${1:-3}
shift || true
setups=("$@")
if [ ${#setups[@]} -eq 0 ]; then setups=(ext4-warm ext4-cold xfs loop-cold loop-warm); fi
benchdir=$build/bench
card=${CARD:-$benchdir/full-4096.img}
cli=$build/quorvane-cli
out=$benchdir/speed-out
export LC_ALL=C

[ "$(id -u)" = 0 ] || { echo "$0: needs root (drop_caches, mount, losetup)" >&2; exit 2; }
for tool in photorec foremost mkfs.xfs filefrag losetup python3; do
  command -v "$tool" >/dev/null || { echo "$0: $tool is missing; run tools/setup.sh --bench" >&2; exit 2; }
done
[ -x "$cli" ] || { echo "$0: $cli is missing; build the quorvane-cli target" >&2; exit 2; }
if [ ! -f "$card" ]; then
  echo "making the 4 GiB card (long: about 1500 photos) ..." >&2
  SIZE_MIB=4096 BUILD_DIR=$build "$root/bench/make-bench-card.sh" full "$card" >&2
fi
mkdir -p "$out"

mnt="" xfsimg="" loopdev="" xfsloop=""
cleanup() {
  if [ -n "$loopdev" ]; then losetup -d "$loopdev" || true; fi
  if [ -n "$mnt" ]; then umount "$mnt" || true; rmdir "$mnt" || true; fi
  if [ -n "$xfsimg" ]; then rm -f "$xfsimg"; fi
}
trap cleanup EXIT

drop_caches() { sync; echo 3 >/proc/sys/vm/drop_caches; }

command_of() {  # row image dir
  case $1 in
    cp) echo "cp '$2' '$3/card.img'" ;;
    cp-copy) echo "cp --reflink=never '$2' '$3/card.img'" ;;
    scan) echo "'$cli' recover '$2' --method scan --dest '$3' --json >'$3.json'" ;;
    no-check) echo "'$cli' recover '$2' --method scan --no-check --dest '$3' --json >'$3.json'" ;;
    folder) echo "'$cli' recover '$2' --method folder --deleted --no-lost --dest '$3' --json >'$3.json'" ;;
    folder-nc) echo "'$cli' recover '$2' --method folder --deleted --no-lost --no-check --dest '$3' --json >'$3.json'" ;;
    combined) echo "'$cli' recover '$2' --dest '$3' --json >'$3.json'" ;;
    comb-nc) echo "'$cli' recover '$2' --no-check --dest '$3' --json >'$3.json'" ;;
    photorec) echo "cd '$3' && photorec /d '$3/recup' /cmd '$2' partition_none,fileopt,everything,enable,wholespace,search >/dev/null" ;;
    foremost) echo "foremost -q -i '$2' -o '$3/found' >/dev/null" ;;
  esac
}

# One setup: rounds of every row, in turning order. Prints one table.
run_setup() {  # name image outdir before(warm|cold) rows...
  local name=$1 img=$2 dir=$3 before=$4
  shift 4
  local rows=("$@") times=$out/$name.times
  : >"$times"
  local n=${#rows[@]}
  for ((round = 0; round < rounds; round++)); do
    for ((k = 0; k < n; k++)); do
      local r=${rows[$(((k + round) % n))]}
      local d=$dir/$r
      rm -rf "$d" "$d.json" && mkdir -p "$d" && sync
      if [ "$before" = cold ]; then drop_caches; else cat "$img" >/dev/null; fi
      echo "  $name round $((round + 1)): $r" >&2
      local t0 t1
      t0=$(date +%s%N)
      bash -c "$(command_of "$r" "$img" "$d") && sync -f '$d'" >"$out/$name.$r.log" 2>&1 ||
        { echo "$0: $r failed on $name, see $out/$name.$r.log" >&2; exit 1; }
      t1=$(date +%s%N)
      echo "$r $(((t1 - t0) / 1000000))" >>"$times"
      echo "$r files $(find "$d" -type f | wc -l)" >>"$times.files"
      if [ "$name" = xfs ] && [ "$round" = $((rounds - 1)) ]; then shared_report "$r" "$d"; fi
      if [ "$round" != $((rounds - 1)) ] || [ "$name" != xfs ]; then rm -rf "$d"; fi
    done
  done
  python3 - "$name" "$times" "$n" "${rows[@]}" <<'EOF'
import statistics, sys
name, path, n = sys.argv[1], sys.argv[2], int(sys.argv[3])
rows = sys.argv[4:4 + n]
t = {}
for line in open(path):
    r, ms = line.split()
    t.setdefault(r, []).append(int(ms) / 1000)
files = {}
for line in open(path + ".files"):
    r, _, count = line.split()
    files[r] = count
med = {r: statistics.median(t[r]) for r in rows}
floor = "cp-copy" if "cp-copy" in med else "cp"
print(f"\n{name}: median of {len(t[rows[0]])} rounds; ratios to {floor} + sync")
print(f"  {'row':<9} {'median s':>9} {'min s':>7} {'max s':>7} {'files':>6} {'x ' + floor:>10}")
for r in rows:
    print(f"  {r:<9} {med[r]:9.2f} {min(t[r]):7.2f} {max(t[r]):7.2f} {files[r]:>6} {med[r] / med[floor]:10.2f}")
EOF
  rm -f "$times" "$times.files"
}

# How many of the files a row wrote on XFS share their blocks with the image, and what the row
# cost in space on the file system.
shared_report() {  # row dir
  local files shared
  files=$(find "$2" -type f -name '*.*' | grep -v '\.json$' | wc -l)
  shared=$(find "$2" -type f -print0 | xargs -0 -r -n 50 filefrag -v 2>/dev/null | awk '
    /^File size of/ { f = $4 } /shared/ { s[f] = 1 } END { print length(s) }')
  echo "  xfs $1: $shared of $files files share extents with another file; $(du -sh "$2" | cut -f1) of blocks counted" \
    "(shared blocks count in full)" >>"$out/xfs.shared"
}

: >"$out/xfs.shared"
for setup in "${setups[@]}"; do
  case $setup in
    ext4-warm | ext4-cold)
      run_setup "$setup" "$card" "$out/$setup" "${setup#ext4-}" cp scan no-check folder folder-nc combined comb-nc photorec foremost
      ;;
    xfs)
      xfsimg=$benchdir/xfs.img mnt=$(mktemp -d /tmp/quorvane-xfs.XXXXXX)
      rm -f "$xfsimg" && truncate -s 32G "$xfsimg"
      mkfs.xfs -q -m reflink=1 "$xfsimg"
      mount -o loop "$xfsimg" "$mnt"
      cp "$card" "$mnt/card.img" && sync
      run_setup xfs "$mnt/card.img" "$mnt/out" warm cp cp-copy scan no-check folder folder-nc combined comb-nc
      cat "$out/xfs.shared"
      echo "  file system use after the last round: $(df -h --output=used "$mnt" | tail -1 | tr -d ' ') for a" \
        "$(($(stat -c %s "$card") >> 20)) MiB image and the outputs above"
      umount "$mnt" && rmdir "$mnt" && rm -f "$xfsimg"
      mnt="" xfsimg=""
      ;;
    loop-cold | loop-warm)
      loopdev=$(losetup --find --show --read-only "$card")
      if [ "$setup" = loop-cold ]; then
        for flag in "" direct; do
          times=()
          for ((round = 0; round < rounds; round++)); do
            drop_caches
            t0=$(date +%s%N)
            dd if="$loopdev" of=/dev/null bs=2M ${flag:+iflag=$flag} status=none
            t1=$(date +%s%N)
            times+=($(((t1 - t0) / 1000000)))
          done
          echo "  loop-cold read alone, dd bs=2M ${flag:-buffered}: $(printf '%s\n' "${times[@]}" | sort -n |
            awk '{ a[NR] = $1 } END { printf "%.2f s median", a[int((NR + 1) / 2)] / 1000 }')" >>"$out/loop.reads"
        done
      fi
      run_setup "$setup" "$loopdev" "$out/$setup" "${setup#loop-}" cp scan no-check folder folder-nc combined comb-nc
      if [ -f "$out/loop.reads" ]; then cat "$out/loop.reads"; rm -f "$out/loop.reads"; fi
      losetup -d "$loopdev"
      loopdev=""
      ;;
    *) echo "$0: unknown setup $setup" >&2; exit 2 ;;
  esac
done
