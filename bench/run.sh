#!/usr/bin/env bash
# Benchmarks haltix.exe under Wine on a virtual display, each measure against a floor measured
# in the same run; prints one table and writes it to bench/results.md and to the "Benchmarks"
# section of README.md. Not part of the test suite. Options go to bench/bench.py (--help).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j "$(nproc)" >/dev/null
exec python3 bench/bench.py "$@"
