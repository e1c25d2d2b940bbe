#!/usr/bin/env bash
# Quenta Code Updater's main job in one command, against a simulated radio: sets itself up
# (Debian packages, build) and runs `quenta demo`, which starts quenta-radiosim on a private
# port folder as COM7, keeping to the line's pace, and updates it: in the window when a display
# is there (COM 7 is selected: press Start, password "pelican"), otherwise with `quenta update`
# in the terminal. The radio's 5.9 codeplug is read, saved, converted to 5.10 and written back.
# Exits with the update's status: non-zero unless it ended in "Done.".
#
# Usage: scripts/demo.sh [--terminal]     (--terminal: no window even when a display is there)
set -euo pipefail
cd "$(dirname "$0")/.."
window=--window
case "${1:-}" in
    --terminal) window= ;;
    "") ;;
    *) echo "usage: scripts/demo.sh [--terminal]" >&2; exit 2 ;;
esac
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then window=; fi

echo "== Setting up (Debian packages, build)"
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --parallel "$(nproc)" --target quenta_demo_companions

exec build/default/tools/quenta/quenta demo $window
