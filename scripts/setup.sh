#!/usr/bin/env bash
# Installs what the build, the program and the tests need, when it is missing.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev libx11-dev
    libfbclient2 firebird3.0-server-core firebird-dev firebird3.0-utils firebird3.0-server
    libzint-dev libzxing-dev glabels-data zbar-tools poppler-utils
    fonts-dejavu-core fonts-liberation2
    clang libclang-rt-14-dev
    xvfb xauth xdotool x11-utils x11-xkb-utils imagemagick openbox
    qt6-translations-l10n
    cups cups-client printer-driver-cups-pdf ghostscript
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
# The tests start servers of their own (Firebird on a free loopback port, a
# CUPS scheduler); the packages' system services are not wanted, so while
# installing, the policy hook refuses to start any. A hook the machine
# already has stays.
policy=/usr/sbin/policy-rc.d
own_policy=0
if [[ ! -e "$policy" ]]; then
    printf '#!/bin/sh\nexit 101\n' | "${sudo_cmd[@]}" tee "$policy" >/dev/null
    "${sudo_cmd[@]}" chmod 755 "$policy"
    own_policy=1
fi
remove_policy() { if [[ $own_policy -eq 1 ]]; then "${sudo_cmd[@]}" rm -f "$policy"; fi; }
trap remove_policy EXIT
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
