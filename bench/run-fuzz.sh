#!/usr/bin/env bash
# Builds a fuzz target with clang (ASan, UBSan, libFuzzer) into build-fuzz and runs it for
# DURATION_SECONDS (default 600): the FAT image target, or with TARGET=media_fuzzer the readers of
# recovered files (end finders, content checks, start tests).
#
#   bench/run-fuzz.sh [DURATION_SECONDS] [extra libFuzzer options...]
#   TARGET=media_fuzzer bench/run-fuzz.sh 600
#
# The corpus grows in build-fuzz/corpus, seeded from fuzz/seeds; it is kept between runs and never
# committed. Inputs that crash, hang (10 s), leak or trip a sanitizer are written to
# build-fuzz/artifacts/. Replay one with: build-fuzz/fuzz/fat_image_fuzzer FILE
#
# BUILD_DIR=... uses another build folder; JOBS=n builds with n jobs (default 2).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
duration=${1:-600}
shift $(($# > 0 ? 1 : 0))
build=${BUILD_DIR:-$root/build-fuzz}

if ! command -v clang++ >/dev/null; then
  echo "$0: clang++ is needed (apt-get install clang libclang-rt-14-dev)" >&2
  exit 2
fi
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DQUORVANE_FUZZ=ON -DQUORVANE_BENCH=OFF -DQUORVANE_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
target=${TARGET:-fat_image_fuzzer}
cmake --build "$build" -j"${JOBS:-2}" --target "$target"

corpus=$build/corpus
[ "$target" = fat_image_fuzzer ] || corpus=$build/corpus-$target
mkdir -p "$corpus" "$build/artifacts"
[ "$target" != fat_image_fuzzer ] || cp -n "$root"/fuzz/seeds/* "$corpus/" 2>/dev/null || true

export QUORVANE_FUZZ_STATS=1
exec "$build/fuzz/$target" "$corpus" \
  -max_total_time="$duration" -timeout=10 -rss_limit_mb=2048 -max_len=1048576 \
  -artifact_prefix="$build/artifacts/" -print_final_stats=1 "$@"
