#!/usr/bin/env bash
# Installs the Debian packages Quorvane needs to build, test and run.
# Idempotent: quiet when everything is there; installs only what is missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  xvfb xauth
  clang-14 libclang-rt-14-dev
  python3 python3-numpy
  libnetcdf-dev libcairo2-dev
  python3-netcdf4 python3-xarray
  libeccodes-dev libeccodes-tools python3-eccodes
  build-essential dpkg-dev debhelper help2man lintian appstream desktop-file-utils
  parallel udunits-bin python3-pandas
  chromium
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup: done"
