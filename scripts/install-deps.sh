#!/usr/bin/env bash
# Installs what building and testing haltix needs on Debian, skipping what is already there.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    cmake make g++ libgtest-dev python3                          # host build and unit tests
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64         # haltix.exe
    wine wine64 xvfb x11-apps fonts-ipafont-gothic locales       # running it for real
    clang libclang-rt-14-dev clang-tidy cppcheck clang-format    # fuzzing and analysis
)

scripts/apt-ensure.sh "${packages[@]}"

# Wine shows the texts in code page 932 only under a Japanese locale.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    sudo_cmd=()
    [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" sed -i 's/^# *\(ja_JP\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ja_JP\.UTF-8 UTF-8' /etc/locale.gen ||
        echo 'ja_JP.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
    "${sudo_cmd[@]}" locale-gen >/dev/null
fi
