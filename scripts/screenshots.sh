#!/usr/bin/env bash
# Renders the main window's states into docs/screenshots/ (PNG) under a virtual display: the
# window is driven through its own widgets against a simulated radio. A second run at 150%
# scaling gives idle-wide-version-150.png.
# Usage: scripts/screenshots.sh [OUTDIR]
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs/screenshots}"
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target quenta-screenshots --parallel "$(nproc)"
tool=build/default/tools/screenshots/quenta-screenshots
mkdir -p "$out"
scaled=$(mktemp -d /tmp/quenta-shots-XXXXXX)
trap 'rm -rf "$scaled"' EXIT
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x960x24" "$tool" "$out"
QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=1.5 xvfb-run -a -s "-screen 0 1920x1440x24" "$tool" "$scaled"
cp "$scaled/idle-wide-version.png" "$out/idle-wide-version-150.png"
