#!/usr/bin/env bash
# Sets up a Debian 12 machine and builds everything: installs the packages (as root),
# cross-builds the Windows dependencies once into their cached prefix, then configures and
# builds the presets: linux, linux-asan, linux-tsan and windows, or those named
# (tools/setup.sh linux builds only the Linux one, and leaves the Windows libraries alone).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    cmake ninja-build g++ pkg-config python3
    libfmt-dev libpugixml-dev nlohmann-json3-dev libcurl4-openssl-dev
    libzip-dev zipcmp zipmerge ziptool
    libgtest-dev libgmock-dev libbenchmark-dev
    wine wine64 xvfb xauth x11-apps imagemagick
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "==> installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

presets=("$@")
((${#presets[@]})) || presets=(linux linux-asan linux-tsan windows)
if [[ " ${presets[*]} " == *" windows "* ]]; then
    tools/build-win-deps.sh
fi

for preset in "${presets[@]}"; do
    echo "==> building $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
