#!/usr/bin/env bash
# Installs what the build needs (when something is missing), configures, builds and runs the
# whole test suite with CTest.
# Usage: scripts/test.sh [PRESET]   (PRESET: default, debug or asan; default: default)
set -euo pipefail
preset="${1:-default}"
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset "$preset"
cmake --build --preset "$preset" --parallel "$(nproc)"
ctest --preset "$preset" --parallel "$(nproc)"
