#!/usr/bin/env bash
# Configures, builds and runs the whole test suite with CTest.
# Usage: scripts/test.sh [PRESET]   (PRESET: default, debug or asan; default: default)
set -euo pipefail
preset="${1:-default}"
cd "$(dirname "$0")/.."
cmake --preset "$preset"
cmake --build --preset "$preset" --parallel "$(nproc)"
ctest --preset "$preset" --parallel "$(nproc)"
