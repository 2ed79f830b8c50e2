#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages the build needs, where they are missing; packages named
# on the command line are added (scripts/fuzz.sh adds clang and its runtime).
set -euo pipefail
packages=(build-essential cmake pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev zlib1g-dev
          libbenchmark-dev fonts-wqy-microhei qt6-base-private-dev qt6-tools-dev qt6-l10n-tools "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
