#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, then configures and builds.
set -euo pipefail
cd "$(dirname "$0")"

packages=(build-essential cmake ninja-build pkg-config g++ clang libclang-rt-14-dev
          zlib1g-dev libssl-dev openssl libgtest-dev libgmock-dev libbenchmark-dev
          libfltk1.3-dev xvfb xauth xdotool
          zip unzip p7zip-full python3 strace)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
