#!/usr/bin/env bash
# Installs the Debian packages that building, testing and benchmarking need.
# Idempotent: packages already present are not fetched again. Uses sudo when not root.
set -euo pipefail

BUILD_PACKAGES=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libblkid-dev libcli11-dev libfmt-dev libjpeg62-turbo-dev zlib1g-dev nlohmann-json3-dev
  libcurl4-openssl-dev libmspack-dev libssl-dev libsystemd-dev
  qt6-base-dev qt6-svg-dev libwmf-dev libemf2svg-dev fonts-urw-base35 qt6-image-formats-plugins libheif-dev
  help2man dpkg-dev
)
TEST_PACKAGES=(openssl dosfstools exfatprogs exfat-fuse e2fsprogs ntfs-3g mtools fdisk util-linux sleuthkit gcab mscompress binutils-mingw-w64-x86-64 python3 xvfb xauth
  imagemagick ffmpeg libheif-examples libimage-exiftool-perl dbus python3-dbus python3-gi
  desktop-file-utils appstream)
BENCH_PACKAGES=(testdisk foremost time hyperfine clang libclang-rt-14-dev xfsprogs)

want=("${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}")
if [ "${1:-}" = "--bench" ]; then want+=("${BENCH_PACKAGES[@]}"); fi

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# A fresh machine runs its own apt jobs for a while after boot; wait for the lock.
for _ in $(seq 1 120); do
  if ! fuser /var/lib/dpkg/lock-frontend >/dev/null 2>&1 && ! fuser /var/lib/dpkg/lock >/dev/null 2>&1; then break; fi
  sleep 1
done

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq || true
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
