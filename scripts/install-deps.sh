#!/usr/bin/env bash
# Installs the Debian packages the project builds, tests and benchmarks with.
# Idempotent: packages already present are left as they are. Needs root (or sudo).
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-serialport-dev qt6-svg-dev
    libjpeg62-turbo-dev
    libudev-dev
    libarchive-dev
    nlohmann-json3-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libssl-dev
    libsqlite3-dev nettle-dev
    # libFuzzer and the sanitizer runtimes for clang are only recommended by clang itself.
    clang clang-format libclang-rt-14-dev
    xvfb xauth fonts-dejavu-core
    dpkg-dev file desktop-file-utils appstream
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all packages present"
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${missing[@]}"
