#!/usr/bin/env bash
# Installs every Debian package the project needs, then configures and builds it in build/.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake pkg-config clang clang-format libclang-rt-14-dev
  zlib1g-dev libcurl4-openssl-dev libpugixml-dev libfltk1.3-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  xvfb x11-utils xdotool imagemagick
  zip unzip python3 python3-pefile iproute2 util-linux time curl
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 libcpp-httplib-dev libsqlite3-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

build_dir=${KLV_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build "$build_dir" -j"$(nproc)"
