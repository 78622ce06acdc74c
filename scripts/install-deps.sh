#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the demo need.
# Packages already present are left alone, so a second run costs nothing.
set -euo pipefail

PACKAGES=(
  cmake g++ make pkg-config
  libcurl4-openssl-dev libboost1.81-dev libfreeimage-dev libx11-dev libseccomp-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev
  xvfb x11-utils python3 curl clang libclang-rt-14-dev openssl clang-format-14
  systemd
)
PACKAGES+=("$@")

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
# Boost 1.74's development packages hold the same headers as 1.81's.
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq libboost1.74-dev >/dev/null 2>&1 || true
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
