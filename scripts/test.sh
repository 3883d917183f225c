#!/usr/bin/env bash
# Runs every test of haltix: host unit tests (plain, ASan+UBSan, TSan), bounded fuzzing, static
# analysis, and the 64-bit and 32-bit Windows builds with their package checks and end-to-end
# tests under Wine. Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/install-deps-i686.sh

jobs=$(nproc)
step() { printf '\n=== %s\n' "$*"; }

for preset in host asan tsan; do
    step "unit tests ($preset)"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs" --timeout 120
done

step "fuzzing (bounded)"
scripts/fuzz.sh

step "static analysis"
scripts/analyse.sh

for preset in mingw i686; do
    step "haltix.exe ($preset): package checks and end-to-end tests under Wine"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" --timeout 900
done

step "all tests passed"
