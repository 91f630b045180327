#!/usr/bin/env bash
# Installs every Debian package Tessera needs; does nothing when all are present.
set -euo pipefail

packages=(
  cmake g++ make pkg-config clang libclang-rt-14-dev
  snakemake
  libgtest-dev libgmock-dev libbenchmark-dev
  libmstoolkit-dev libtinyxml-dev libgsl-dev libexpat1-dev
  qt6-base-dev qt6-svg-dev qt6-image-formats-plugins xvfb fonts-dejavu-core
  openms-doc openms-common comet-ms
  python3-networkx  # the tests read the spectral network with a GraphML reader not ours
  chromium  # the report test renders the page in a headless browser
  pybind11-dev python3-dev python3-numpy python3-pandas python3-pytest  # the Python module and its tests
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
