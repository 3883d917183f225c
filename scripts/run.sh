#!/usr/bin/env bash
# Builds haltix.exe and runs it with the given switches in a private Wine prefix, on the display
# in DISPLAY or on a virtual one; prints what haltix asked of Windows. Example: scripts/run.sh /r /t:10
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j "$(nproc)" --target haltix >/dev/null
exec python3 scripts/run_haltix.py -- "$@"
