#!/usr/bin/env bash
# Static analysis: clang-tidy (.clang-tidy) and cppcheck over src/, platform/, tests/unit/ and
# fuzz/, and the clang-format layout of the same files. Fails on any finding.
# The host sources are analysed with the compile commands of a clang configuration; the Windows
# sources in platform/ with clang aimed at x86_64-w64-mingw32, using the mingw-w64 headers.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/apt-ensure.sh cmake make clang clang-tidy clang-format cppcheck libgtest-dev \
    g++-mingw-w64-x86-64-posix

jobs=$(nproc)
failed=()
step() { printf '\n=== %s\n' "$*"; }

host_files=(src/*.cpp tests/unit/*.cpp fuzz/*.cpp)
windows_files=(platform/*.cpp)
all_files=(src/*.cpp src/*.h platform/*.cpp platform/*.h tests/unit/*.cpp tests/unit/*.h
           fuzz/*.cpp fuzz/*.h)

step "clang-format"
if clang-format --dry-run --Werror "${all_files[@]}"; then
    echo "layout clean (${#all_files[@]} files)"
else
    failed+=(clang-format)
fi

step "clang-tidy, host sources"
cmake -S . -B build/analyse -DCMAKE_CXX_COMPILER=clang++ -DHALTIX_FUZZ=ON \
    -DCMAKE_BUILD_TYPE=Debug >/dev/null
if printf '%s\n' "${host_files[@]}" |
    xargs -P "$jobs" -n 1 clang-tidy -p build/analyse --quiet 2>/dev/null; then
    echo "clean (${#host_files[@]} files)"
else
    failed+=("clang-tidy host")
fi

step "clang-tidy, Windows sources"
mingw_cxx=x86_64-w64-mingw32-g++-posix
# The C++ library headers of the mingw-w64 g++; clang brings its own compiler headers.
mapfile -t cxx_dirs < <(echo | "$mingw_cxx" -std=c++20 -E -x c++ - -v 2>&1 |
    sed -n 's/^ \(\/.*\/include\/c++[^ ]*\)$/\1/p')
windows_flags=(--target=x86_64-w64-mingw32 -std=c++20 -nostdinc++)
for dir in "${cxx_dirs[@]}"; do windows_flags+=(-isystem "$dir"); done
windows_flags+=(-isystem /usr/x86_64-w64-mingw32/include -Isrc -Iplatform)
if printf '%s\n' "${windows_files[@]}" |
    xargs -P "$jobs" -I {} clang-tidy --quiet {} -- "${windows_flags[@]}" 2>/dev/null; then
    echo "clean (${#windows_files[@]} files)"
else
    failed+=("clang-tidy Windows")
fi

cppcheck_flags=(--enable=warning,style,performance,portability --std=c++20 --language=c++
                --inline-suppr --quiet --error-exitcode=1 -j "$jobs"
                --suppress=missingIncludeSystem)

step "cppcheck, host sources"
# Test case records are read through GoogleTest's GetParam(), which cppcheck does not follow.
if cppcheck "${cppcheck_flags[@]}" --platform=unix64 --library=googletest \
    --suppress='unusedStructMember:tests/unit/*' \
    -I src -I platform -I tests/unit -I fuzz src tests/unit fuzz; then
    echo "clean"
else
    failed+=("cppcheck host")
fi

step "cppcheck, Windows sources"
if cppcheck "${cppcheck_flags[@]}" --platform=win64 --library=windows -D_WIN32 -D_WIN64 \
    -I src -I platform src platform; then
    echo "clean"
else
    failed+=("cppcheck Windows")
fi

step "summary"
if ((${#failed[@]} > 0)); then
    echo "static analysis FAILED: ${failed[*]}"
    exit 1
fi
echo "static analysis clean: clang-format, clang-tidy and cppcheck found nothing"
