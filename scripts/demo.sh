#!/usr/bin/env bash
# Quenta Code Updater's main job in one command, against a simulated radio: sets itself up
# (Debian packages, build), starts quenta-radiosim on a pseudo-terminal reachable as COM7
# through a private port directory, and updates it: in the window when a display is there
# (pick "COM 7", press Start, password "pelican"), otherwise with `quenta update` in the
# terminal. The radio's 5.9 codeplug is read, saved, converted to 5.10 and written back.
# Exits non-zero unless the update ended in "Done.".
#
# Usage: scripts/demo.sh [--terminal]     (--terminal: no window even when a display is there)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
terminal=0
case "${1:-}" in
    --terminal) terminal=1 ;;
    "") ;;
    *) echo "usage: scripts/demo.sh [--terminal]" >&2; exit 2 ;;
esac
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then terminal=1; fi

echo "== Setting up (Debian packages, build)"
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --parallel "$(nproc)" \
    --target quenta quenta-radiosim quenta-updater
build=$root/build/default
updater=$(cat "$build/quenta-updater-path.txt")

work=$(mktemp -d /tmp/quenta-demo-XXXXXX)
sim_pid=""
cleanup() {
    if [ -n "$sim_pid" ]; then
        kill -TERM "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/ports" "$work/run"

echo "== Starting the simulated radio (packages/demo-radio.json) as COM7"
"$build/tools/radiosim/quenta-radiosim" --port-dir "$work/ports" --com 7 \
    --scenario "$root/packages/demo-radio.json" --report "$work/report.json" >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 100); do
    if grep -q '^COM7 ' "$work/sim.out" 2>/dev/null; then break; fi
    if ! kill -0 "$sim_pid" 2>/dev/null; then echo "the simulated radio did not start" >&2; exit 1; fi
    sleep 0.1
done
echo "   $(cat "$work/sim.out")"

# The codeplug backups of this run are the files in the backup folder newer than this mark.
backups="${XDG_DATA_HOME:-$HOME/.local/share}/quenta/backups"
touch "$work/mark"

# The images are extracted into the working directory of the run.
cd "$work/run"
if [ "$terminal" -eq 1 ]; then
    echo "== Updating the radio with quenta update (password from a file; about a minute)"
    printf 'pelican\n' >"$work/password"
    set +e
    "$build/tools/quenta/quenta" update --port COM7 --port-dir "$work/ports" \
        --password-file "$work/password" --yes 2>&1 | tee "$work/update.out"
    status=${PIPESTATUS[0]}
    set -e
    last=$(grep -v '^Progress: ' "$work/update.out" | tail -1)
else
    echo "== The window opens: pick \"COM 7\", press Start, type the password \"pelican\"."
    echo "   When the status reads \"Done.\" (about a minute), close the window."
    set +e
    "$updater" --port-dir "$work/ports" | tee "$work/update.out"
    status=${PIPESTATUS[0]}
    set -e
    last=$(sed -n 's/^Last status: //p' "$work/update.out" | tail -1)
    [ "$last" = "Done." ] || status=1
fi
cd "$root"

if [ "$status" -ne 0 ] || [ "$last" != "Done." ]; then
    echo "== The update did not end in \"Done.\" (exit status $status)" >&2
    exit 1
fi
echo "== Done: the radio runs the new code; its codeplug was converted to 5.10 and written back."
if [ -d "$backups" ]; then
    echo "   Before anything was written to the radio, its codeplug was saved (as read, and converted):"
    find "$backups" -type f -newer "$work/mark" -printf '     %p\n' | sort
fi
