#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, then configures and builds the
# Linux program (build/) and the Windows program (build-win/).
set -euo pipefail
cd "$(dirname "$0")"

packages=(build-essential cmake ninja-build pkg-config g++ clang libclang-rt-14-dev
          zlib1g-dev libssl-dev openssl libgtest-dev libgmock-dev libbenchmark-dev
          libfltk1.3-dev xvfb xauth xdotool x11-utils
          zip unzip p7zip-full python3 strace locales
          g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev wine wine32:i386 wine64
          libzip-dev libminizip-dev hyperfine time
          libdeflate-dev libnss3-dev libnss3-tools)

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
# wine32 is an i386 package.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    # A mirror caught mid-sync fails an index now and then; the install below still says
    # plainly when a package cannot be had.
    for attempt in 1 2 3; do
        $SUDO apt-get update && break
        sleep 5
    done
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi
# The Windows tests run with a Russian user locale and then a French one, which Wine takes
# from the system's.
for lang in ru_RU fr_FR; do
    if ! locale -a | grep -qx $lang.utf8; then
        $SUDO localedef -i $lang -f UTF-8 $lang.UTF-8
    fi
done

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
# The Windows tests are built by run-tests.sh, for the Wine that this machine can run.
cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCERTINSTALL_TESTS=OFF
cmake --build build-win
