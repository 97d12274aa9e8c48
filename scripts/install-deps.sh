#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Kelvane need.
# Only missing packages are installed; the package lists are refreshed only then.
# With --fuzz also clang and its libFuzzer runtime, for scripts/fuzz.sh.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-multimedia-dev
  libqt6opengl6-dev libqt6openglwidgets6 libqt6svgwidgets6 qt6-qpa-plugins
  libavcodec-dev libavformat-dev libavfilter-dev libavutil-dev
  libswresample-dev libswscale-dev
  libtinyexr-dev libssl-dev libbenchmark-dev
  ffmpeg  # the movie benchmarks compare against its command-line program
  xvfb xauth libgl1-mesa-dri libgl-dev libegl-dev fonts-dejavu-core
)
if [ "${1:-}" = "--fuzz" ]; then
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
