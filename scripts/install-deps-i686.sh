#!/usr/bin/env bash
# Installs what the 32-bit build (preset i686) and its tests under Wine need on top of
# install-deps.sh: the i686 MinGW-w64 compiler and 32-bit Wine, which needs Debian's i386
# architecture.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    sudo_cmd=()
    [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
scripts/apt-ensure.sh g++-mingw-w64-i686-win32 binutils-mingw-w64-i686 wine32:i386
