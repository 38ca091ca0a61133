#!/usr/bin/env bash
# Shared set-up of run.sh and test.sh: Debian packages, configure, build.
# Usage: scripts/setup.sh BUILD_DIR [extra cmake arguments...]
# With BUILD_TARGETS set (names separated by spaces) only those targets are built.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev libgl-dev
          libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth desktop-file-utils)
# Animated GIF export.
packages+=(libgif-dev)
# The Debian package and its test: dpkg-shlibdeps, lintian, appstreamcli.
packages+=(dpkg-dev lintian appstream)

# The fuzz targets (tests/fuzz/run.sh): clang with libFuzzer and the sanitizer runtimes.
packages+=(clang libclang-rt-14-dev)
# pixbard: HTTP through cpp-httplib; its tests talk to it with curl and check TLS with openssl.
packages+=(libcpp-httplib-dev curl openssl)
# pixbard's MQTT side, and the broker and clients its tests use.
packages+=(libmosquitto-dev mosquitto mosquitto-clients)
# Its end-to-end tests are Python scripts (the standard library only).
packages+=(python3)
# pixbard's web page is tested in headless Chromium driven by Selenium.
packages+=(chromium chromium-driver python3-selenium)
# The windows: the UI font with Tahoma's metrics, and Qt's own texts in Polish.
packages+=(qt6-translations-l10n fonts-wine)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -eq 0 ]; then
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -q
        apt-get install -y -q "${missing[@]}"
    else
        echo "Missing Debian packages. Run once:" >&2
        echo "  sudo apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
fi

build=$1
shift
cmake -S "$(dirname "$0")/.." -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
targets=()
for t in ${BUILD_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$build" "${targets[@]}"
