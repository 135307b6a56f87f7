#!/usr/bin/env bash
# Installs what the build, the program and the tests need, when it is missing.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libfbclient2 firebird3.0-server-core firebird-dev firebird3.0-utils
    libzint-dev zbar-tools poppler-utils
    fonts-dejavu-core fonts-liberation2
    clang libclang-rt-14-dev
    xvfb xauth xdotool x11-utils x11-xkb-utils imagemagick openbox
    qt6-translations-l10n
    dpkg-dev lintian appstream desktop-file-utils librsvg2-bin
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
