#!/usr/bin/env bash
# Installs what the build, the tests and the demo need on Debian, as root. Installs only
# the packages that are missing and says nothing when all are there; safe to run again.
set -euo pipefail

PACKAGES=(
    cmake g++ make
    libgtest-dev googletest
    mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
    wine wine64
    xvfb xauth x11-apps imagemagick xdotool
    nsis msitools wixl
    clang-format clang libclang-rt-14-dev
    python3
)
# The fonts Wine draws with: one fixed set, so that screenshots and text widths are the
# same on every machine. The tests hold with other fonts, so without root they are only
# recommended.
FONTS=(fonts-liberation fonts-dejavu-core)

installed() {
    dpkg -s "$1" 2>/dev/null | grep -q '^Status: install ok installed$'
}

missing=()
for package in "${PACKAGES[@]}" "${FONTS[@]}"; do
    if ! installed "${package}"; then
        missing+=("${package}")
    fi
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

if [[ "$(id -u)" != 0 ]]; then
    required=()
    for package in "${missing[@]}"; do
        [[ " ${FONTS[*]} " == *" ${package} "* ]] || required+=("${package}")
    done
    if ((${#required[@]} == 0)); then
        echo "setup: the fonts ${missing[*]} are missing; screenshots will differ (run as root to install them)" >&2
        exit 0
    fi
    echo "setup: missing packages: ${missing[*]}" >&2
    echo "setup: run this script as root to install them" >&2
    exit 1
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
