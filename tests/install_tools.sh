#!/usr/bin/env bash
# Installs what the tests need beyond what setup.sh installs for the build; quick and silent
# when everything is there. What is optional (32-bit Wine, the browsers) is tried, and when it
# cannot be had one line says so and the tests that need it are left out.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=../tools/apt.sh
source tools/apt.sh

install_packages libgtest-dev libgmock-dev libbenchmark-dev clang-format clang-tidy gcovr \
    clang libclang-rt-14-dev xvfb xauth xdotool x11-utils x11-apps icewm imagemagick \
    adwaita-icon-theme fonts-dejavu-core \
    zip unzip p7zip-full zstd xz-utils strace locales openssl libnss3-tools lintian file git gnutls-bin \
    nodejs curl wget \
    g++-mingw-w64-x86-64-posix wine wine64 libzip-dev libminizip-dev hyperfine time

# Wine's own fonts, which the Wine tests give their prefixes, and the signing tool that the
# Windows package test signs and checks the program with.
install_packages fonts-wine osslsigncode

try_packages "Chromium, for the browser tests," chromium || true
try_packages "Firefox ESR, for the browser tests," firefox-esr || true
try_packages "Java, for the machine-scope test," ca-certificates-java default-jre-headless || true
# Debian's own Ansible, whose community.general collection has the chroot connection.
try_packages "Ansible and debootstrap, for the deployment test," ansible ansible-core \
    debootstrap || true

# The Windows program that ships is 32-bit; where 32-bit Wine cannot be had, the Wine tests
# take a 64-bit build.
try_foreign_packages i386 "32-bit Wine" wine32:i386 || true

# The Windows tests run with a Russian user locale and then a French one, which Wine takes
# from the system's.
for lang in ru_RU fr_FR; do
    if ! locale -a | grep -qx $lang.utf8; then
        $SUDO localedef -i $lang -f UTF-8 $lang.UTF-8
    fi
done
