#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Lumisift need.
# Runs apt-get update once, and only when something is missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev ccache
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libjpeg-dev libgif-dev libcpp-httplib-dev libgumbo-dev
  libssl-dev openssl ca-certificates
  zlib1g-dev
  libjpeg-turbo-progs
  nginx-light tinyproxy curl xvfb xauth imagemagick fonts-dejavu-core
  lighttpd
  dosfstools fusefat
  apache2
  squid
  dpkg-dev
  file
  desktop-file-utils
  appstream
  openbox
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# The web servers and proxies are started by the tests themselves: installing them must not
# start them as system services (a policy that refuses every start, while apt-get runs).
if [ ! -e /usr/sbin/policy-rc.d ]; then
  printf '#!/bin/sh\nexit 101\n' | $SUDO tee /usr/sbin/policy-rc.d >/dev/null
  $SUDO chmod 755 /usr/sbin/policy-rc.d
  trap '$SUDO rm -f /usr/sbin/policy-rc.d' EXIT
fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
