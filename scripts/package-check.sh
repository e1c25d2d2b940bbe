#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine as a user would (apt-get install
# ./quenta_*.deb), validates the desktop entry and AppStream metainfo it installed and runs the
# installed programs. Needs root (or sudo); removes the package again unless it was installed
# before. Usage: scripts/package-check.sh [PRESET]   (default: default)
set -euo pipefail
preset="${1:-default}"
cd "$(dirname "$0")/.."
build="$PWD/build/$preset"
app_id=org.quenta.CodeUpdater
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

installed_before=no
if dpkg-query -W -f='${Status}' quenta 2>/dev/null | grep -q 'install ok installed'; then
    installed_before=yes
fi
out=$(mktemp -d)
work=$(mktemp -d)
sim_pid=""
cleanup() {
    if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
    rm -rf "$out" "$work"
    if [ "$installed_before" = no ]; then $sudo dpkg -r quenta >/dev/null 2>&1 || true; fi
}
trap cleanup EXIT
step() { echo "package-check: $*"; }

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --parallel "$(nproc)"
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
debs=("$out"/quenta_*.deb)
[ -f "${debs[0]}" ] || { echo "package-check: cpack made no quenta_*.deb" >&2; exit 1; }
step "built $(basename "${debs[0]}")"
dpkg-deb -f "${debs[0]}" Depends

(cd "$out" && $sudo apt-get install -y --no-install-recommends "./$(basename "${debs[0]}")" >/dev/null)
step "installed"

desktop-file-validate "/usr/share/applications/$app_id.desktop"
appstreamcli validate --no-net "/usr/share/metainfo/$app_id.metainfo.xml"
for f in "/usr/share/icons/hicolor/scalable/apps/$app_id.svg" \
         "/usr/share/icons/hicolor/48x48/apps/$app_id.png" \
         /usr/share/man/man1/quenta.1 /usr/share/man/man1/quenta-radiosim.1 \
         /usr/share/quenta/udev/60-quenta-serial-adapters.rules \
         /usr/share/quenta/radios/demo-radio.json; do
    [ -s "$f" ] || { echo "package-check: $f missing" >&2; exit 1; }
done
step "desktop entry, metainfo, icons, manual pages, udev rule and radio descriptions in place"

/usr/bin/quenta --version
/usr/bin/quenta-radiosim --version
/usr/bin/quenta --help >/dev/null
/usr/bin/quenta-radiosim --help >/dev/null
if [ -e /usr/bin/quenta-updater ]; then
    QT_QPA_PLATFORM=offscreen /usr/bin/quenta-updater --version
    QT_QPA_PLATFORM=offscreen /usr/bin/quenta-updater --help >/dev/null
fi
/usr/bin/quenta info | tee "$out/info.txt"
grep -q '^Program: ' "$out/info.txt"

cd "$work"
/usr/bin/quenta codeplug generate --format 5.8 --seed 7 radio.cp
/usr/bin/quenta codeplug convert --to 5.10 radio.cp new.cp
/usr/bin/quenta codeplug check new.cp
/usr/bin/quenta codeplug convert --to 5.8 new.cp back.cp
/usr/bin/quenta codeplug check back.cp
/usr/bin/quenta codeplug info back.cp | grep -q '^format: *5\.8$'
step "codeplug generate, convert and check round trip"

# The installed simulated radio answers the installed tool over a pseudo-terminal.
mkdir ports
/usr/bin/quenta-radiosim --port-dir "$work/ports" --com 7 --report "$work/report.json" >sim.out &
sim_pid=$!
for _ in $(seq 100); do [ -s sim.out ] && break; sleep 0.1; done
/usr/bin/quenta retrieve --port COM7 --port-dir "$work/ports" | grep -q 'File Format Version: 5.10'
step "quenta retrieve read the simulated radio"

# The installed demo updates its simulated radio at the line's pace, start to end, and leaves
# no port folder behind; its backups, journal and traces go to folders of this check.
mkdir -m 0700 runtime
set +e
XDG_RUNTIME_DIR="$work/runtime" XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state" \
    /usr/bin/quenta demo >demo.out 2>&1
status=$?
set -e
grep -v '^Progress: ' demo.out
[ "$status" -eq 0 ] || { echo "package-check: quenta demo ended with $status" >&2; exit 1; }
grep -qx 'Done\.' demo.out || { echo "package-check: quenta demo did not end in Done." >&2; exit 1; }
grep -q '% of the line' demo.out
[ -z "$(ls -A runtime)" ] || { echo "package-check: quenta demo left $(ls runtime)" >&2; exit 1; }
step "quenta demo updated the simulated radio"
step "passed"
