#!/usr/bin/env bash
# Installs the Debian 12 packages Quenlet needs to build and test, when any
# are missing (apt-get as root, through sudo otherwise). Further package names
# given as arguments are installed too.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libgtest-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev libpcre2-dev qt6-base-dev
          qt6-translations-l10n libopencc-dev libzip-dev zlib1g-dev libisal-dev libssl-dev libxml2-dev epubcheck
          default-jre-headless desktop-file-utils "$@")

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "Installing ${missing[*]} ..." >&2
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
