#!/usr/bin/env bash
# Installs what the programs need to build on Debian 12, then builds the Linux program
# (build/) and the 32-bit Windows program (build-win/). The tests install their own tools.
set -euo pipefail
cd "$(dirname "$0")"
# shellcheck source=tools/apt.sh
source tools/apt.sh

# FLTK's CMake files name its designer, fluid, which libfltk1.3-dev only recommends.
install_packages build-essential cmake ninja-build pkg-config python3 \
    zlib1g-dev libssl-dev libnss3-dev libsqlite3-dev libdeflate-dev libfltk1.3-dev fluid \
    libbz2-dev liblzma-dev libzstd-dev \
    nlohmann-json3-dev \
    g++-mingw-w64-i686-posix libz-mingw-w64-dev

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCERTINSTALL_TESTS=OFF \
    -DCERTINSTALL_BENCH=OFF
cmake --build build
cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCERTINSTALL_TESTS=OFF
cmake --build build-win
