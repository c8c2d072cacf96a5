#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, where missing.
set -euo pipefail

packages=(
    build-essential cmake pkg-config clang libclang-rt-dev clang-format
    qt6-base-dev qt6-base-dev-tools libgl-dev libqt6svg6 qt6-translations-l10n
    libsqlcipher-dev sqlcipher libssl-dev
    python3 python3-xlrd
    xvfb xauth imagemagick fonts-liberation iproute2 xdotool
    dpkg-dev desktop-file-utils ccache libxcb1-dev
    # Ninja builds faster than make: a library compiles while those it needs are
    # still being archived, and no make runs inside another.
    ninja-build
    libsodium-dev libxlsxwriter-dev qt6-charts-dev python3-openpyxl python3-xlib x11-utils openssl
)

# One question to dpkg for all of them; a package it has never heard of is missing too.
installed=" $(dpkg-query -W -f='${db:Status-Abbrev}${Package} ' "${packages[@]}" 2>/dev/null \
    | grep -o 'ii *[^ ]*' | sed 's/^ii *//' | tr '\n' ' ') " || true
missing=()
for package in "${packages[@]}"; do
    [[ $installed == *" $package "* ]] || missing+=("$package")
done

if ((${#missing[@]})); then
    sudo_cmd=()
    [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
