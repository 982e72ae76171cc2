#!/usr/bin/env bash
# Installs the Debian packages needed to build, run and test the program.
# Does nothing when everything is already there; uses sudo when not root.
set -euo pipefail

packages=(
    cmake g++ ninja-build pkg-config make
    qt6-base-dev qt6-tools-dev qt6-l10n-tools qt6-webengine-dev
    portaudio19-dev libgsm1-dev libspeex-dev libspeexdsp-dev
    xvfb xauth fonts-dejavu-core imagemagick tshark iaxmodem
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -q
# tshark asks whether non-root users may capture; the tests read files only.
echo "wireshark-common wireshark-common/install-setuid boolean false" | $sudo debconf-set-selections
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
