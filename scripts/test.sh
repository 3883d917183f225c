#!/usr/bin/env bash
# Runs every test of haltix: host unit tests (plain, ASan+UBSan, TSan), fuzzers, static analysis,
# and the Windows build with its end-to-end tests under Wine. Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
step() { printf '\n=== %s\n' "$*"; }

for preset in host asan tsan; do
    step "unit tests ($preset)"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs" --timeout 120
done

step "haltix.exe and end-to-end tests under Wine"
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j "$jobs"
ctest --preset mingw --timeout 900

step "all tests passed"
